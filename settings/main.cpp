// The program's entry: what the loader does for a GUI program, then WinMain.
#include "platform/kernel.h"
#include "settings/settings.h"

int main() {
    RegisterSettingsResources();
    char commandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, 1);
}
