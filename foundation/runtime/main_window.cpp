// The library's one top-level window: made on the thread that starts the
// library, full screen or in a window as the options say, its window
// procedure (activation, painting with the background colour, closing,
// typed characters, editing keys and the input method's messages, which go
// to text input), the measurements logged when it is made (memory, desktop,
// the performance counter's resolution) and the clipboard text calls.
// Not here: switching between window and full screen (window_mode.cpp), the
// message pump (message_pump.cpp), the last presented frame and its repaint
// (graphics/targets/last_frame.cpp).
#include "foundation/runtime/main_window.h"

#include <algorithm>
#include <cstring>

#include "foundation/base/charset.h"
#include "foundation/base/random.h"
#include "foundation/base/text.h"
#include "foundation/memory/log.h"
#include "foundation/net/connections.h"
#include "foundation/runtime/input.h"
#include "foundation/runtime/message_pump.h"
#include "foundation/runtime/system_state.h"
#include "foundation/runtime/window_mode.h"
#include "foundation/text_input/text_input.h"
#include "graphics/device/device_state.h"
#include "graphics/device/graphics_device.h"
#include "graphics/images/image_records.h"
#include "graphics/settings/draw_settings.h"
#include "graphics/targets/draw_targets.h"
#include "movie/playback/movie_calls.h"
#include "platform/gdi.h"
#include "platform/ime.h"
#include "platform/kernel.h"
#include "platform/window.h"
#include "platform/winmm.h"
#include "sound/system/sound_system.h"

namespace tessel {

namespace {

constexpr int kCounterTestPolls = 60;
constexpr int kCounterTestMilliseconds = 1000;

constexpr int kDefaultIconId = 32512;

double BytesToMegabytes(uint64_t bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}

void MeasureMemory() {
    using MemoryStatusEx = BOOL (*)(MEMORYSTATUSEX*);
    if (g_system.info.osCode > kOsWindowsNt4) {
        HMODULE kernel = GetModuleHandleA("Kernel32.dll");
        auto statusEx = reinterpret_cast<MemoryStatusEx>(
            kernel != nullptr ? GetProcAddress(kernel, "GlobalMemoryStatusEx") : nullptr);
        if (statusEx != nullptr) {
            MEMORYSTATUSEX status;
            status.dwLength = sizeof(status);
            if (statusEx(&status)) {
                g_system.memoryTotal = status.ullTotalPhys;
                g_system.memoryFree = status.ullAvailPhys;
            }
        }
    }
    if (g_system.memoryTotal == 0) {
        MEMORYSTATUS status;
        status.dwLength = sizeof(status);
        GlobalMemoryStatus(&status);
        g_system.memoryTotal = status.dwTotalPhys;
        g_system.memoryFree = status.dwAvailPhys;
    }
    WriteLogFormat("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ",
                   BytesToMegabytes(g_system.memoryTotal), BytesToMegabytes(g_system.memoryFree));
}

void MeasureDesktop() {
    g_system.desktopWidth = GetSystemMetrics(SM_CXSCREEN);
    g_system.desktopHeight = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    g_system.desktopBits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
}

void BeginTimers() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    g_system.performanceFrequency = static_cast<uint64_t>(frequency.QuadPart);
    g_system.usePerformanceCounter = frequency.QuadPart != 0 ? 1 : 0;
    TIMECAPS caps = {};
    timeGetDevCaps(&caps, sizeof(caps));
    g_system.timerPeriod = caps.wPeriodMin;
    timeBeginPeriod(caps.wPeriodMin);
}

// Counts how often the performance counter and the millisecond clock change
// between polls; a counter that changes less often than the clock is coarser
// than it and is not used.
void TestPerformanceCounter() {
    if (g_system.usePerformanceCounter == 0) {
        return;
    }
    WriteLog("タイマーの精度を検査します\n");
    int counterChanges = 0;
    int clockChanges = 0;
    LARGE_INTEGER lastCount;
    QueryPerformanceCounter(&lastCount);
    int lastClock = ReadMillisecondClock();
    int start = lastClock;
    while (ReadMillisecondClock() - start < kCounterTestMilliseconds &&
           counterChanges < kCounterTestPolls && clockChanges < kCounterTestPolls) {
        if (PumpMessagesInner() != 0) {
            break;
        }
        LARGE_INTEGER count;
        QueryPerformanceCounter(&count);
        int clock = ReadMillisecondClock();
        if (count.QuadPart != lastCount.QuadPart) {
            ++counterChanges;
            lastCount = count;
        }
        if (clock != lastClock) {
            ++clockChanges;
            lastClock = clock;
        }
    }
    WriteLogFormat("精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d",
                   clockChanges, counterChanges);
    WriteLog(" ");
    if (counterChanges < clockChanges) {
        WriteLogFormat("マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ",
                       static_cast<int>(g_system.timerPeriod));
        g_system.usePerformanceCounter = 0;
    } else {
        WriteLogFormat("パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                       static_cast<double>(g_system.performanceFrequency) / 1000.0);
    }
    WriteLog(" ");
}

void ChooseCharacterSet() {
    if (LibraryCharSet != kCharSetDefault) {
        return;
    }
    // Code pages of the East Asian character sets; any other keeps Shift-JIS
    // with no code page of its own.
    struct KnownCodePage {
        uint32_t codePage;
        int32_t charSet;
    };
    static constexpr KnownCodePage kKnown[] = {{932, kCharSetShiftJis},
                                               {936, kCharSetSimplifiedChinese},
                                               {949, kCharSetKorean},
                                               {950, kCharSetTraditionalChinese}};
    const uint32_t oemCodePage = GetOEMCP();
    LibraryCharSet = kCharSetShiftJis;
    g_system.codePage = 0;
    for (const KnownCodePage& known : kKnown) {
        if (known.codePage == oemCodePage) {
            LibraryCharSet = known.charSet;
            g_system.codePage = known.codePage;
        }
    }
}

int FailCreation(const char* line) {
    WriteLog(line);
    g_system.quit = 1;
    g_system.creating = 0;
    return -1;
}

bool RegisterMainClass() {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = g_system.instance;
    int iconId = g_system.iconId != 0 ? g_system.iconId : kDefaultIconId;
    windowClass.hIcon = LoadIconA(g_system.instance, MAKEINTRESOURCEA(iconId));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = g_system.className;
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateFullScreenWindow() {
    WriteLog("フルスクリーンモード用のウインドウを作成します\n");
    const WindowStyleEntry& styles = CurrentWindowStyle();
    g_system.cursorWanted = 0;
    int width = 0;
    int height = 0;
    QueryScreenSize(&width, &height);
    return CreateWindowExA(styles.fullScreenExStyle, g_system.className, g_system.title,
                           styles.fullScreenStyle, 0, 0, width, height, nullptr, nullptr,
                           g_system.instance, nullptr);
}

HWND CreateWindowModeWindow() {
    WriteLog("ウインドウモード起動用のウインドウを作成します\n");
    const WindowStyleEntry& styles = CurrentWindowStyle();
    DWORD style = styles.style | (g_system.visibleStyle != 0 ? WS_VISIBLE : 0u);
    int screenWidth = 0;
    int screenHeight = 0;
    QueryScreenSize(&screenWidth, &screenHeight);
    RECT rect = {0, 0, static_cast<LONG>(screenWidth * g_system.windowScaleX),
                 static_cast<LONG>(screenHeight * g_system.windowScaleY)};
    AdjustWindowRectEx(&rect, style, FALSE, styles.exStyle);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = rect.left + (g_system.desktopWidth - width) / 2;
    int y = rect.top + (g_system.desktopHeight - height) / 2;
    g_system.cursorWanted = 1;
    return CreateWindowExA(styles.exStyle, g_system.className, g_system.title, style, x, y, width,
                           height, nullptr, nullptr, g_system.instance, nullptr);
}

// Posts one close to the window; later requests find it posted.
void PostCloseOnce(HWND window) {
    if (g_system.closePosted == 0) {
        g_system.closePosted = 1;
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

// A window-mode display that no longer matches the screen. A change to a
// usable depth and a display still large enough is followed (the restore
// function refills the images; the movies play on); any other change, or
// one with nothing to refill the images, ends the program.
void OnDisplayChange(HWND window, WPARAM wParam, LPARAM lParam) {
    int screenWidth = 0;
    int screenHeight = 0;
    int screenBits = 0;
    QueryScreenState(&screenWidth, &screenHeight, &screenBits);
    const int bits = static_cast<int>(wParam);
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    if (bits == screenBits && width == screenWidth && height == screenHeight) {
        return;
    }
    const bool usableDepth = bits != 24 && (bits != 8 || screenBits == 8);
    if (IsRestoreCallbackSet() != 0 && usableDepth && width >= screenWidth &&
        height >= screenHeight) {
        MovieResumeAll();
        return;
    }
    WriteLog("復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\n");
    WriteLog("またはスクリーンが小さすぎるためか色ビット数の違いが大きいためか終了します\n");
    PostCloseOnce(window);
}

void OnActivation(HWND window, WPARAM wParam) {
    bool active = LOWORD(wParam) != 0;
    g_system.active = active ? 1 : 0;
    if (g_system.creating != 0) {
        return;
    }
    // Becoming active restores a lost graphics device and resumes the movies
    // that the deactivation paused (a program that runs while inactive never
    // paused them in a window). Input devices are acquired again either way:
    // exclusive use of the pads only while active.
    if (active) {
        RequestImeReopen();
        if (g_system.started != 0) {
            RestoreGraphicsOnActivation(HIWORD(wParam) != 0 ? 1 : 0);
        }
        if (g_system.windowMode == 0 ? g_system.started != 0 : g_system.runWhenInactive == 0) {
            MovieResumeAll();
        }
        ReacquireInputDevices();
        ApplyPadVibration();
        return;
    }
    if (g_system.windowMode == 0) {
        // A full-screen program gives the desktop its own display mode back
        // while it is away, and composition when it had switched it off.
        ChangeDisplaySettingsA(nullptr, 0);
        ShowWindow(window, SW_MINIMIZE);
        if (QueryDirectDrawObject() != nullptr && g_system.compositionOff != 0) {
            EnableDesktopComposition(1);
        }
    }
    if ((g_system.windowMode == 0 && QueryDirectDrawObject() != nullptr) ||
        g_system.runWhenInactive == 0) {
        MoviePauseAll();
    }
    ReacquireInputDevices();
    HDC dc = GetDC(window);
    RepaintLastFrame();
    ReleaseDC(window, dc);
    ApplyPadVibration();
}

void FillWithBackground(HDC dc, const RECT& area) {
    HBRUSH brush = nullptr;
    if (g_system.backgroundSet != 0) {
        brush = CreateSolidBrush(
            RGB(g_system.backgroundRed, g_system.backgroundGreen, g_system.backgroundBlue));
    }
    if (brush != nullptr) {
        FillRect(dc, &area, brush);
        DeleteObject(brush);
        return;
    }
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

// The back screen shown again where the window was uncovered; a repaint
// does not wait for the vertical blank.
void PresentWithoutWait(const RECT& area) {
    const int32_t waitOff = g_drawSettings.verticalBlankWaitOff;
    g_drawSettings.verticalBlankWaitOff = 1;
    PresentScreen(&area);
    g_drawSettings.verticalBlankWaitOff = waitOff;
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (g_system.windowMode != 0) {
        g_system.inPaint = 1;
        if (g_system.active == 0 && LastFrameKept() != 0 && g_system.runWhenInactive == 0) {
            RepaintLastFrame();
        } else if (g_system.started == 0) {
            FillWithBackground(dc, paint.rcPaint);
        } else if (g_drawSettings.drawTarget == kBackScreen) {
            PresentWithoutWait(paint.rcPaint);
        }
        g_system.inPaint = 0;
    }
    EndPaint(window, &paint);
}

void HideCursorIfWanted() {
    if (g_system.cursorShown != 0) {
        return;
    }
    SetCursor(nullptr);
    while (ShowCursor(FALSE) >= 0) {
    }
}

// Typed characters for the fields: printable ones and the control
// characters the fields act on; a line feed counts as Enter.
void OnCharacter(WPARAM wParam) {
    static constexpr uint8_t kPassedControls[] = {1, 3, 8, 9, 13, 16, 22, 24, 27};
    auto c = static_cast<uint8_t>(wParam);
    if (c == 10) {
        PushInputChar(13);
        return;
    }
    bool passed = c > 0x1F;
    for (uint8_t control : kPassedControls) {
        passed = passed || c == control;
    }
    if (passed) {
        PushInputChar(c);
    }
}

void KeepWindowRect(HWND window) {
    GetWindowRect(window, &g_system.windowRect);
}

}  // namespace

HWND GetMainWindow() {
    return g_system.mainWindow;
}

int IsWindowMode() {
    return g_system.windowMode;
}

int IsQuitRequested() {
    return g_system.quit;
}

int IsMainWindowActive() {
    return g_system.active;
}

int IsMmxSupported() {
    return g_system.info.hasMmx;
}

int IsCloseRequested() {
    return g_system.closePosted;
}

int SetWindowTitle(const char* title) {
    CopyTextN(g_system.title, title != nullptr ? title : "", kWindowTextSize - 1);
    g_system.title[kWindowTextSize - 1] = '\0';
    if (g_system.mainWindow != nullptr) {
        SetWindowTextA(g_system.mainWindow, g_system.title);
    }
    return 0;
}

int SetWindowIcon(int iconId) {
    g_system.iconId = iconId;
    if (g_system.mainWindow != nullptr) {
        HICON icon =
            LoadIconA(g_system.instance, MAKEINTRESOURCEA(iconId != 0 ? iconId : kDefaultIconId));
        SetClassLongPtrA(g_system.mainWindow, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
    }
    return 0;
}

int SetBackgroundRgb(int red, int green, int blue) {
    g_system.backgroundRed = static_cast<uint8_t>(red);
    g_system.backgroundGreen = static_cast<uint8_t>(green);
    g_system.backgroundBlue = static_cast<uint8_t>(blue);
    g_system.backgroundSet = 1;
    return 0;
}

int SetRunWhenInactive(int on) {
    g_system.runWhenInactive = on;
    return 0;
}

int ReadClipboardText(char* buffer, int bufferBytes) {
    if (!OpenClipboard(g_system.mainWindow)) {
        return -1;
    }
    HANDLE block = IsClipboardFormatAvailable(CF_TEXT) ? GetClipboardData(CF_TEXT) : nullptr;
    const char* text = block != nullptr ? static_cast<const char*>(GlobalLock(block)) : nullptr;
    if (text == nullptr) {
        CloseClipboard();
        return -1;
    }
    int result = 0;
    if (buffer == nullptr) {
        result = static_cast<int>(GlobalSize(block)) + 1;
    } else if (bufferBytes > 0) {
        // Another program may have changed the clipboard since its size was
        // asked, and its block need not end in a NUL: the copy is bounded
        // by both.
        size_t room = static_cast<size_t>(bufferBytes) - 1;
        size_t length = strnlen(text, std::min(room, static_cast<size_t>(GlobalSize(block))));
        std::memcpy(buffer, text, length);
        buffer[length] = '\0';
    }
    GlobalUnlock(block);
    CloseClipboard();
    return result;
}

int WriteClipboardText(const char* text) {
    if (text == nullptr) {
        return -1;
    }
    size_t length = std::strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
    char* data = block != nullptr ? static_cast<char*>(GlobalLock(block)) : nullptr;
    if (data == nullptr) {
        if (block != nullptr) {
            GlobalFree(block);
        }
        return WriteLog("クリップボード用のメモリを確保できませんでした\n");
    }
    std::memcpy(data, text, length + 1);
    GlobalUnlock(block);
    if (!OpenClipboard(g_system.mainWindow)) {
        GlobalFree(block);
        return WriteLog("クリップボードを開けませんでした\n");
    }
    EmptyClipboard();
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
    return 0;
}

int CreateMainWindow() {
    ResetSystemState();
    if (g_system.className[0] == '\0') {
        CopyText(g_system.className,
                 g_system.title[0] != '\0' ? g_system.title : kDefaultClassName);
    }
    g_system.instance = GetModuleHandleA(nullptr);
    g_system.windowThreadId = GetCurrentThreadId();

    MeasureMemory();
    MeasureDesktop();
    BeginTimers();
    TestPerformanceCounter();
    MtSeed(static_cast<uint32_t>(ReadMillisecondClock()));
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
    ChooseCharacterSet();

    WriteLog("ソフトの二重起動検査... ");
    if (FindWindowA(g_system.className, nullptr) != nullptr) {
        // A program that ends at once without a word looks broken; its log
        // may well be switched off.
        ReportOnConsole("二重起動されています、ソフトを終了します\n");
        return FailCreation("二重起動されています、ソフトを終了します\n");
    }
    WriteLog("二重起動はされていませんでした\n");

    g_system.creating = 1;
    WriteLog("ウインドウクラスを登録します... ");
    if (!RegisterMainClass()) {
        return FailCreation("ウインドウクラスの登録に失敗しました\n");
    }
    WriteLog("登録に成功しました\n");
    if (g_system.title[0] == '\0') {
        CopyText(g_system.title, kDefaultTitle);
    }

    HWND window = g_system.windowMode == 0 ? CreateFullScreenWindow() : CreateWindowModeWindow();
    if (window == nullptr) {
        // The class goes with the window, so that a later start can register it again.
        UnregisterClassA(g_system.className, g_system.instance);
        return FailCreation("ウインドウの作成に失敗しました\n");
    }
    g_system.mainWindow = window;
    WriteLog("ウインドウの作成に成功しました\n");
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    g_system.closePosted = 0;
    g_system.windowClosed = 0;
    g_system.active = 1;

    if (g_system.windowMode == 0) {
        WriteLog("カーソルを不可視にしました\n");
        SetCursor(nullptr);
    }
    WriteLog("ＩＭＥを無効にしました\n");
    if (IsImeInputEnabled() == 0) {
        WINNLSEnableIME(window, FALSE);
    }
    if (g_system.windowMode != 0) {
        ReadClientRect();
    }
    ApplyCursorVisibility(g_system.cursorWanted);
    g_system.ending = 0;
    BringWindowToTop(window);
    FitWindowToClientSize();
    g_system.creating = 0;
    return 0;
}

int DestroyMainWindow() {
    HWND window = g_system.mainWindow;
    if (window == nullptr) {
        return 0;
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
    WINNLSEnableIME(window, TRUE);
    ApplyCursorVisibility(1);
    if (g_system.closePosted == 0) {
        PostCloseOnce(window);
        while (PumpMessagesInner() == 0 && g_system.windowClosed == 0) {
        }
    }
    // With the quit flag already set the pump takes the close without
    // dispatching it, so the window is still there: destroy it here, or the
    // next start would find it and take itself for a second instance. The
    // quit message its destruction posts is taken too, so that it cannot end
    // the next start's first frame.
    if (IsWindow(window)) {
        DestroyWindow(window);
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    UnregisterClassA(g_system.className, g_system.instance);
    DeleteAllTextInputs();
    ReleaseLastFrame();
    timeEndPeriod(g_system.timerPeriod);
    g_system.mainWindow = nullptr;
    return 0;
}

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            WriteLog("ウインドウが破棄されようとしています\n");
            g_system.windowClosed = 1;
            PostQuitMessage(0);
            g_system.quit = 1;
            WriteLog("ソフトを終了する準備が整いました\n");
            break;
        case WM_MOVE:
            KeepWindowRect(window);
            if (g_system.windowMode != 0 && g_system.modeChanging == 0) {
                TrackClientRectOnMove(lParam);
            }
            break;
        case WM_SIZE:
            KeepWindowRect(window);
            if (wParam != SIZE_MAXIMIZED) {
                FitWindowToClientSize();
            }
            break;
        case WM_ACTIVATE:
            OnActivation(window, wParam);
            break;
        case WM_ACTIVATEAPP:
            if (wParam == 0) {
                OnActivation(window, wParam);
            }
            break;
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_CLOSE:
            WriteLog("ウインドウを閉じようとしています\n");
            DestroyWindow(window);
            if (g_system.ending == 0) {
                g_system.ending = 4;
            }
            return 0;
        case WM_SETCURSOR:
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            HideCursorIfWanted();
            break;
        case WM_DISPLAYCHANGE:
            if (g_system.windowMode != 0 && g_system.modeChanging == 0) {
                OnDisplayChange(window, wParam, lParam);
            }
            g_system.displayChanged = 1;
            break;
        case WM_NCHITTEST: {
            // The top rows of a full-screen Direct3D window count as its menu.
            const LRESULT menuArea = 5;
            int y = static_cast<SHORT>(HIWORD(lParam));
            if (g_graphics.hardwareInUse != 0 && g_system.windowMode == 0 && y < 8) {
                return menuArea;
            }
            break;
        }
        case WM_SYSCOMMAND: {
            WPARAM command = wParam & 0xFFF0u;
            if (command == SC_SCREENSAVE || command == SC_MONITORPOWER) {
                return 1;
            }
            break;
        }
        case WM_CHAR:
            OnCharacter(wParam);
            break;
        case WM_KEYDOWN:
            if (InputRingHasRoom() != 0) {
                uint8_t character = KeyTableChar(static_cast<int>(wParam));
                if (character != 0) {
                    PushInputChar(character);
                }
            }
            break;
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_SETCONTEXT:
        case WM_IME_NOTIFY:
            return OnImeMessage(message, wParam, lParam, window);
        case MM_MCINOTIFY:
            ReplayMusicMci();
            break;
        case kSocketEventMessage:
            return OnSocketEvent(static_cast<uint32_t>(lParam), static_cast<SOCKET>(wParam));
        case WM_MOVING:
            KeepWindowRect(window);
            if (g_system.windowMode == 0 && lParam != 0) {
                *reinterpret_cast<RECT*>(lParam) = g_system.windowRect;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace tessel
