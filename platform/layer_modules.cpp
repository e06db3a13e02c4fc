#include "platform/layer_modules.h"

#include <mutex>

namespace platform {

void RegisterLayerModules() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterD3D9Module();
        RegisterDirectDrawClass();
        RegisterDirectInputClasses();
        RegisterDirectSoundModule();
        RegisterDirectShowClasses();
    });
}

}  // namespace platform
