// The program's entry: what the loader does for a GUI program, then WinMain.
#include "platform/kernel.h"

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

int main() {
    char commandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, 1);
}
