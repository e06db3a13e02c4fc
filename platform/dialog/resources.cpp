// The program's dialog templates and icon, registered as a linked resource
// would be and found by name or by integer id.
#include <strings.h>

#include <mutex>
#include <vector>

#include "platform/dialog/dialog_record_internal.h"

namespace platform::dialog {
namespace {

std::mutex& ResourcesLock() {
    static std::mutex lock;
    return lock;
}

std::vector<const DialogTemplate*>& Templates() {
    static std::vector<const DialogTemplate*> templates;
    return templates;
}

std::unique_ptr<ProgramIcon>& Icon() {
    static std::unique_ptr<ProgramIcon> icon;
    return icon;
}

// Integer resource ids sit below 0x10000 in place of a pointer.
bool IsIntegerResource(const char* name) {
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

}  // namespace

const DialogTemplate* FindDialogTemplate(const char* name) {
    if (IsIntegerResource(name)) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(ResourcesLock());
    for (const DialogTemplate* dialogTemplate : Templates()) {
        // Resource names compare without regard to case.
        if (strcasecmp(dialogTemplate->name, name) == 0) {
            return dialogTemplate;
        }
    }
    return nullptr;
}

const ProgramIcon* FindProgramIcon() {
    std::lock_guard<std::mutex> guard(ResourcesLock());
    return Icon().get();
}

}  // namespace platform::dialog

namespace platform {

void RegisterDialogTemplate(const DialogTemplate* dialogTemplate) {
    std::lock_guard<std::mutex> guard(dialog::ResourcesLock());
    for (const DialogTemplate*& known : dialog::Templates()) {
        if (strcasecmp(known->name, dialogTemplate->name) == 0) {
            known = dialogTemplate;
            return;
        }
    }
    dialog::Templates().push_back(dialogTemplate);
}

void RegisterProgramIcon(int groupId, int width, int height, const uint32_t* pixels) {
    if (width <= 0 || height <= 0 || pixels == nullptr) {
        return;
    }
    auto icon = std::make_unique<dialog::ProgramIcon>();
    icon->groupId = groupId;
    icon->width = width;
    icon->height = height;
    icon->pixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
    std::lock_guard<std::mutex> guard(dialog::ResourcesLock());
    dialog::Icon() = std::move(icon);
}

}  // namespace platform
