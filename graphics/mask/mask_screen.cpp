// The mask screen hooks: with no mask screen ever made, enabling is refused
// and the hooks around drawing and the device's life change nothing.
#include "graphics/mask/mask_screen.h"

namespace tessel {

MaskScreenState g_maskScreen = {};

int MaskScreenIsEnabled() {
    return g_maskScreen.enabled;
}

int MaskScreenEnable(int /*on*/) {
    return -1;
}

int MaskBeforeDraw(const RECT* /*rect*/) {
    return 0;
}

int MaskAfterDraw(const RECT* /*rect*/) {
    return 0;
}

int MaskScreenTeardown() {
    return 0;
}

int MaskScreenRestore() {
    return 0;
}

int EndMaskScreen() {
    g_maskScreen.enabled = 0;
    g_maskScreen.created = 0;
    g_maskScreen.active = 0;
    return 0;
}

// The table never holds an entry: nothing fills it.
int DeleteAllMaskData() {
    g_maskScreen.dataCount = 0;
    return 0;
}

}  // namespace tessel
