// The options that shape newly created images: plain stores and reads of one
// word each, read by image creation when it builds a texture request.
#include "graphics/settings/draw_settings.h"

namespace tessel {

int SetNewImageColorDepth(int bits) {
    g_drawSettings.newImageColorDepth = bits;
    return 0;
}
int QueryNewImageColorDepth() {
    return g_drawSettings.newImageColorDepth;
}
int SetDrawableImageCreation(int on) {
    g_drawSettings.drawableImageCreation = on;
    return 0;
}
int QueryDrawableImageCreation() {
    return g_drawSettings.drawableImageCreation;
}
int SetDrawableImageAlpha(int on) {
    g_drawSettings.drawableImageAlpha = on;
    return 0;
}
int SetColorKeyTextureFormat(int on) {
    g_drawSettings.colorKeyTextureFormat = on;
    return 0;
}
int QueryColorKeyTextureFormat() {
    return g_drawSettings.colorKeyTextureFormat;
}
int SetBlankImageAlpha(int on) {
    g_drawSettings.blankImageAlpha = on;
    return 0;
}
int QueryBlankImageAlpha() {
    return g_drawSettings.blankImageAlpha;
}
int SetTextureRequestFlag(int on) {
    g_drawSettings.textureRequestFlag = on;
    return 0;
}
int QueryTextureRequestFlag() {
    return g_drawSettings.textureRequestFlag;
}
int QueryImageCreationFlag() {
    return g_drawSettings.imageCreationFlag;
}
int SetTransparentColorUse(int on) {
    g_drawSettings.transparentColorUseOff = on == 0 ? 1 : 0;
    return 0;
}
int SetTransparentColorKeying(int on) {
    g_drawSettings.transparentColorKeying = on;
    return 0;
}

}  // namespace tessel
