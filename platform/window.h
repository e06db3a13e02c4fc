// Windows user-interface services, as the library and the programs call them:
// window classes and windows, a per-thread message queue with Windows' message
// numbers, timers, displays and display settings, screen device contexts, the
// clipboard, message boxes, keyboard state and the single-instance lookup.
// Windows are checked ids (a destroyed one is refused everywhere). The screen
// is one backend behind a short contract (window/backend_internal.h), SDL2
// in the files named sdl_*; with SDL's dummy video driver everything but the
// pixels on a screen still happens, which is how the tests run. What the
// screen reports reaches other services as this header's WindowEvent, never
// as the backend's own events. Test hooks are in window_testing.h.
#pragma once

#include "platform/types.h"

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);
using ATOM = WORD;
using HGLOBAL = HANDLE;
using COLORREF = DWORD;

// ---------------------------------------------------------------- messages
#define WM_NULL 0x0000u
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_MOVE 0x0003u
#define WM_SIZE 0x0005u
#define WM_ACTIVATE 0x0006u
#define WM_SETFOCUS 0x0007u
#define WM_KILLFOCUS 0x0008u
#define WM_SETTEXT 0x000Cu
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUIT 0x0012u
#define WM_SHOWWINDOW 0x0018u
#define WM_ACTIVATEAPP 0x001Cu
#define WM_SETCURSOR 0x0020u
#define WM_DISPLAYCHANGE 0x007Eu
#define WM_NCCREATE 0x0081u
#define WM_NCDESTROY 0x0082u
#define WM_NCHITTEST 0x0084u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_SYSKEYDOWN 0x0104u
#define WM_SYSKEYUP 0x0105u
#define WM_SYSCHAR 0x0106u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_SYSCOMMAND 0x0112u
#define WM_TIMER 0x0113u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_LBUTTONDBLCLK 0x0203u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define WM_RBUTTONDBLCLK 0x0206u
#define WM_MBUTTONDOWN 0x0207u
#define WM_MBUTTONUP 0x0208u
#define WM_MBUTTONDBLCLK 0x0209u
#define WM_MOUSEWHEEL 0x020Au
#define WM_MOVING 0x0216u
#define WM_USER 0x0400u

#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

#define MK_LBUTTON 0x0001u
#define MK_RBUTTON 0x0002u
#define MK_SHIFT 0x0004u
#define MK_CONTROL 0x0008u
#define MK_MBUTTON 0x0010u
#define WHEEL_DELTA 120

#define HTCLIENT 1
#define HTMENU 5

#define SC_CLOSE 0xF060u
#define SC_SCREENSAVE 0xF140u
#define SC_MONITORPOWER 0xF170u

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u
#define PM_NOYIELD 0x0002u

#define USER_TIMER_MINIMUM 0x0000000Au

#define ERROR_INVALID_WINDOW_HANDLE 1400u
#define ERROR_CLASS_ALREADY_EXISTS 1410u
#define ERROR_CLASS_DOES_NOT_EXIST 1411u
#define ERROR_CANNOT_FIND_WND_CLASS 1407u
#define ERROR_CLIPBOARD_NOT_OPEN 1418u

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
    DWORD lPrivate;
};
using LPMSG = MSG*;

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Returns 0 for WM_QUIT, -1 for a bad window filter, else non-zero.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC procedure);
BOOL KillTimer(HWND window, UINT_PTR id);

// ---------------------------------------------------------- classes, windows
#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u
#define CS_DBLCLKS 0x0008u

#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_MAXIMIZE 0x01000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u

#define WS_EX_DLGMODALFRAME 0x00000001u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_CLIENTEDGE 0x00000200u
#define WS_EX_STATICEDGE 0x00020000u

#define CW_USEDEFAULT (static_cast<int>(0x80000000u))

#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define GWLP_WNDPROC (-4)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9

#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOREDRAW 0x0008u
#define SWP_NOACTIVATE 0x0010u
#define SWP_FRAMECHANGED 0x0020u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u
#define SWP_NOOWNERZORDER 0x0200u

#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))

#define IDI_APPLICATION 32512
#define IDC_ARROW 32512
#define MAKEINTRESOURCEA(id) \
    (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(id))))

#define NULL_BRUSH 5
#define BLACK_BRUSH 4

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

struct CREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL IsIconic(HWND window);
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL GetClientRect(HWND window, LPRECT rect);
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle);
BOOL ShowWindow(HWND window, int command);
BOOL UpdateWindow(HWND window);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL SetWindowTextA(HWND window, LPCSTR text);
int GetWindowTextA(HWND window, LPSTR text, int size);

// Activation and focus. There is one application here, so the foreground
// window is the active window; the foreground lock has nothing to guard.
HWND GetActiveWindow();
HWND SetActiveWindow(HWND window);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND window);
HWND GetFocus();
HWND SetFocus(HWND window);
BOOL BringWindowToTop(HWND window);
BOOL AttachThreadInput(DWORD attachFrom, DWORD attachTo, BOOL attach);

// The desktop window: always a window, covering the screen in its current
// display mode; it belongs to no program, so no search finds it.
HWND GetDesktopWindow();

// Finds a top-level window by class name (and title, when given), in this
// process or in another process of the same user and instance namespace.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);

// ------------------------------------------------------ icons and the cursor
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);
BOOL GetCursorPos(POINT* point);
BOOL SetCursorPos(int x, int y);
#define GCLP_HICON (-14)
ULONG_PTR SetClassLongPtrA(HWND window, int index, LONG_PTR value);

// ------------------------------------------- displays and device contexts
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXFIXEDFRAME 7
#define SM_CYFIXEDFRAME 8
#define SM_CXSIZEFRAME 32
#define SM_CYSIZEFRAME 33
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CMONITORS 80
int GetSystemMetrics(int index);

#define CCHDEVICENAME 32
#define CCHFORMNAME 32

struct POINTL {
    LONG x;
    LONG y;
};

struct DEVMODEA {
    BYTE dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    union {
        struct {
            SHORT dmOrientation;
            SHORT dmPaperSize;
            SHORT dmPaperLength;
            SHORT dmPaperWidth;
            SHORT dmScale;
            SHORT dmCopies;
            SHORT dmDefaultSource;
            SHORT dmPrintQuality;
        };
        struct {
            POINTL dmPosition;
            DWORD dmDisplayOrientation;
            DWORD dmDisplayFixedOutput;
        };
    };
    SHORT dmColor;
    SHORT dmDuplex;
    SHORT dmYResolution;
    SHORT dmTTOption;
    SHORT dmCollate;
    BYTE dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmDisplayFlags;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};
static_assert(sizeof(DEVMODEA) == 156, "DEVMODEA keeps its Windows size");

#define DM_BITSPERPEL 0x00040000u
#define DM_PELSWIDTH 0x00080000u
#define DM_PELSHEIGHT 0x00100000u
#define DM_DISPLAYFREQUENCY 0x00400000u

#define ENUM_CURRENT_SETTINGS (static_cast<DWORD>(-1))
#define ENUM_REGISTRY_SETTINGS (static_cast<DWORD>(-2))

#define CDS_UPDATEREGISTRY 0x00000001u
#define CDS_TEST 0x00000002u
#define CDS_FULLSCREEN 0x00000004u

#define DISP_CHANGE_SUCCESSFUL 0
#define DISP_CHANGE_RESTART 1
#define DISP_CHANGE_FAILED (-1)
#define DISP_CHANGE_BADMODE (-2)
#define DISP_CHANGE_BADFLAGS (-4)

BOOL EnumDisplaySettingsA(LPCSTR deviceName, DWORD modeNumber, DEVMODEA* mode);
LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags);

// A window's device context, or the screen's for a null window. The drawing
// services of GDI work on these records too (platform/window/dc_internal.h).
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HWND WindowFromDC(HDC dc);

#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define VREFRESH 116
int GetDeviceCaps(HDC dc, int index);

#define SPI_GETSCREENSAVEACTIVE 0x0010u
#define SPI_SETSCREENSAVEACTIVE 0x0011u
#define SPI_GETFOREGROUNDLOCKTIMEOUT 0x2000u
#define SPI_SETFOREGROUNDLOCKTIMEOUT 0x2001u
#define SPIF_UPDATEINIFILE 0x0001u
#define SPIF_SENDCHANGE 0x0002u
BOOL SystemParametersInfoA(UINT action, UINT uiParam, LPVOID pvParam, UINT winIni);

// -------------------------------------------------------------- the clipboard
#define CF_TEXT 1u
BOOL OpenClipboard(HWND owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
HANDLE SetClipboardData(UINT format, HANDLE data);
HANDLE GetClipboardData(UINT format);
BOOL IsClipboardFormatAvailable(UINT format);

// ------------------------------------------------------------- message boxes
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ----------------------------------------------------------------- keyboard
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_NUMPAD0 0x60
#define VK_F1 0x70
#define VK_F4 0x73
#define VK_F10 0x79
#define VK_NUMLOCK 0x90
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
BOOL GetKeyboardState(BYTE* state);  // 256 bytes
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);

// Input method switch of a window; the input method itself is another service
// (ime.h): a window whose switch is off gets no composition messages.
BOOL WINNLSEnableIME(HWND window, BOOL enable);

// ------------------------------------------------------------- global memory
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND 0x0042u
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
SIZE_T GlobalSize(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);

// ------------------------------------------------ extras of this platform
namespace platform {

// The pixels of a window's client area (X8R8G8B8, pitch in bytes). The
// Direct3D stand-in and GDI present into it; with a real video driver an
// unlock that changed it shows it, with the dummy driver it stays in memory
// for tests to read back. The buffer follows the client size.
struct WindowFramebuffer {
    uint32_t* pixels;
    int width;
    int height;
    int pitch;
};
bool LockWindowFramebuffer(HWND window, WindowFramebuffer* out);  // false for a bad window
void UnlockWindowFramebuffer(HWND window, bool changed);

// Window records without an SDL window, for dialogs and their controls built
// elsewhere: SendMessageA and DispatchMessageA call `procedure`; the record
// belongs to the calling thread's queue and DestroyWindow takes it down.
HWND CreateProcWindow(WNDPROC procedure, HWND parent, int controlId, void* userData);
void* ProcWindowUserData(HWND window);
int ProcWindowControlId(HWND window);

// Display modes: the desktop mode is what ENUM_REGISTRY_SETTINGS reports and
// what ChangeDisplaySettingsA(null) restores.
struct DisplayMode {
    int width;
    int height;
    int bitsPerPixel;
    int refreshRate;
};
DisplayMode CurrentDisplayMode();

// What the screen reports, in the layer's own terms. Services that read the
// devices (input, text input) see each event that the message queue takes
// from the screen, before it becomes messages.
enum class WindowEventKind : uint8_t {
    KeyDown,
    KeyUp,
    Text,  // typed text, as the desktop's keyboard layout spells it
    // The input method's composition, whole, each time it changes (empty
    // when it is dropped); the text that ends it comes as Text.
    Editing,
    MouseMove,
    MouseButtonDown,
    MouseButtonUp,
    MouseWheel,
    Exposed,  // the window's picture was lost and wants showing again
    Moved,    // x, y: the client area's new screen position
    Resized,  // width, height: the client area's new size
    Minimized,
    Maximized,
    Restored,
    FocusGained,
    FocusLost,
    CloseAsked,
    MouseEntered,
    Other,  // nothing the service acts on
};

enum class MouseButton : uint8_t { None, Left, Right, Middle, X1, X2 };

struct WindowEvent {
    WindowEventKind kind = WindowEventKind::Other;
    HWND window = nullptr;  // the window it concerns; null for none of ours
    // Keys, by their Windows codes: the virtual key (0 for a key without
    // one), the set-1 scan code and its extended bit, the side-specific key of
    // a modifier (0 for others), the DirectInput key code; `repeat` for a key
    // held down; the lock keys' lights with the event.
    BYTE virtualKey = 0;
    BYTE scanCode = 0;
    bool extended = false;
    BYTE sidedKey = 0;
    BYTE directInputKey = 0;
    bool repeat = false;
    bool capsLock = false;
    bool numLock = false;
    char text[32] = {};  // UTF-8, NUL-terminated
    // Editing: the cursor in the composition and the length of its selected
    // part, in characters.
    int editStart = 0;
    int editLength = 0;
    // The mouse: the position in the client area, the movement, the button,
    // its clicks in a row, the wheel in notches (positive away from the user).
    int x = 0;
    int y = 0;
    int dx = 0;
    int dy = 0;
    MouseButton button = MouseButton::None;
    int clicks = 0;
    int wheel = 0;
    // Resized.
    int width = 0;
    int height = 0;
};

using WindowEventObserver = void (*)(const WindowEvent& event, void* context);
void AddWindowEventObserver(WindowEventObserver observer, void* context);
void RemoveWindowEventObserver(WindowEventObserver observer, void* context);

// Takes the events the screen has reported up to now (on the thread that
// runs the windows; elsewhere it does nothing).
void PumpWindowEvents();

// The picture of a program's icon resource (A8R8G8B8 rows, top first): a
// window whose class icon is LoadIconA of that id shows it where the desktop
// shows window icons. Registered once per id; later calls replace it.
void RegisterIconImage(int id, const uint32_t* pixels, int width, int height);

// Another event loop (GTK's, for dialogs) that must keep running while a
// thread waits in GetMessageA or looks in PeekMessageA: `hook` is called on
// every look at the queue and at least every 5 ms while GetMessageA waits.
// One hook per process; null removes it.
void SetMessagePumpHook(void (*hook)(void* context), void* context);

}  // namespace platform
