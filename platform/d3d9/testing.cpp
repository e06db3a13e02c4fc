// The test hooks: profile, failure injection, the lost switch, the call trace,
// refusals, pixel read-back and the vertical-blank clock.
//
// Every device call counts itself here, so the path taken when nothing records
// is lock-free: the recording switch, the refusal counters and one counter per
// method name are atomics; the lock guards the recorded entries, the profile,
// the injected failures and the list of live devices. A refusal takes the lock
// (refusals are rare) to keep the last rejection and mark the traced call.
//
// Not here: a real display clock (the vertical blank follows the profile's
// refresh rate on the monotonic clock), or any hook a Direct3D program could
// reach through Direct3D itself.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/d3d9/device.h"
#include "platform/d3d9/trace.h"
#include "platform/window.h"

namespace platform {

namespace {

struct HookState {
    std::mutex lock;
    bool profileReady = false;
    D3D9Profile profile;
    std::map<D3D9FailPoint, int> failures;
    std::vector<d3d9::Device*> devices;
    std::vector<D3D9TraceEntry> entries;
    D3D9Rejection lastRejection;
    bool virtualBlank = false;
    uint64_t blankCount = 0;
};

HookState& Hooks() {
    static HookState* hooks = new HookState();
    return *hooks;
}

// What every call touches, kept apart from the lock so that a call that is
// not recorded costs a few atomic operations: the recording switch, the
// refusals, and one counter per method name.
std::atomic<bool> g_recording{false};
std::atomic<uint64_t> g_refusalCount{0};
std::atomic<int> g_lastRefusal{0};
thread_local const char* t_method = "";

// Counters keyed by the address of the method's name literal (open
// addressing; a literal's address never changes). A name may sit in several
// slots when the compiler keeps several copies of one literal; reading the
// count adds them up.
constexpr size_t kCounterSlots = 512;
struct CounterSlot {
    std::atomic<const char*> method{nullptr};
    std::atomic<int> count{0};
};
CounterSlot g_counters[kCounterSlots];

void CountCall(const char* method) {
    size_t start = (reinterpret_cast<uintptr_t>(method) >> 3) % kCounterSlots;
    for (size_t i = 0; i < kCounterSlots; ++i) {
        CounterSlot& slot = g_counters[(start + i) % kCounterSlots];
        const char* held = slot.method.load(std::memory_order_acquire);
        if (held == nullptr) {
            const char* expected = nullptr;
            if (slot.method.compare_exchange_strong(expected, method) || expected == method) {
                slot.count.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            held = expected;
        }
        if (held == method) {
            slot.count.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
}

struct RefusalInfo {
    const char* name;
    HRESULT result;
    const char* text;
};

const RefusalInfo kRefusals[] = {{"None", S_OK, "no refusal"},
#define TESSEL_D3D9_REFUSAL_INFO(name, result, text) {#name, result, text},
                                 TESSEL_D3D9_REFUSALS(TESSEL_D3D9_REFUSAL_INFO)
#undef TESSEL_D3D9_REFUSAL_INFO
};
static_assert(sizeof kRefusals / sizeof kRefusals[0] == static_cast<size_t>(D3D9Refusal::Count));

const RefusalInfo& InfoFor(D3D9Refusal reason) {
    size_t index = static_cast<size_t>(reason);
    return kRefusals[index < static_cast<size_t>(D3D9Refusal::Count) ? index : 0];
}

std::vector<std::string> SplitWords(const char* text) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = text;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
            if (*p == '\0') {
                break;
            }
        } else if (*p != ' ') {
            word += *p;
        }
    }
    return words;
}

void Remove(std::vector<D3DFORMAT>* formats, D3DFORMAT format) {
    formats->erase(std::remove(formats->begin(), formats->end(), format), formats->end());
}

// Applies the words of TESSEL_D3D9_PROFILE to a profile.
void ApplyProfileWords(const char* text, D3D9Profile* profile) {
    for (const std::string& word : SplitWords(text)) {
        if (word == "nodxt") {
            for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
                Remove(&profile->textureFormats, f);
            }
        } else if (word == "no565") {
            Remove(&profile->textureFormats, D3DFMT_R5G6B5);
            Remove(&profile->renderTargetTextureFormats, D3DFMT_R5G6B5);
        } else if (word == "no1555") {
            Remove(&profile->textureFormats, D3DFMT_A1R5G5B5);
        } else if (word == "noblendop") {
            profile->primitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
        } else if (word == "notssargtemp") {
            profile->primitiveMiscCaps &= ~D3DPMISCCAPS_TSSARGTEMP;
        } else if (word == "shader2") {
            profile->vertexShaderVersion = D3DVS_VERSION(2, 0);
            profile->pixelShaderVersion = D3DPS_VERSION(2, 0);
        } else if (word == "noshaders") {
            profile->vertexShaderVersion = D3DVS_VERSION(1, 1);
            profile->pixelShaderVersion = D3DPS_VERSION(1, 4);
        } else if (word == "square") {
            profile->squareTexturesOnly = true;
        } else if (word.rfind("maxtex=", 0) == 0) {
            DWORD size = static_cast<DWORD>(std::strtoul(word.c_str() + 7, nullptr, 10));
            if (size >= 256 && size <= 4096) {
                profile->maxTextureWidth = size;
                profile->maxTextureHeight = size;
            }
        } else if (word == "desktop16") {
            profile->followDesktop = false;
            profile->displayMode.Format = D3DFMT_R5G6B5;
        } else if (word == "nod24") {
            Remove(&profile->depthFormats, D3DFMT_D24X8);
        } else if (word == "nod32") {
            Remove(&profile->depthFormats, D3DFMT_D32);
        }
    }
}

D3D9Profile EnvironmentProfile() {
    D3D9Profile profile = DefaultD3D9Profile();
    const char* words = std::getenv("TESSEL_D3D9_PROFILE");
    if (words != nullptr) {
        ApplyProfileWords(words, &profile);
    }
    return profile;
}

void EnsureProfile(HookState& hooks) {
    if (!hooks.profileReady) {
        hooks.profile = EnvironmentProfile();
        hooks.profileReady = true;
    }
}

bool FormatForBits(DWORD bits, D3DFORMAT* format) {
    if (bits == 16) {
        *format = D3DFMT_R5G6B5;
        return true;
    }
    if (bits == 24 || bits == 32) {
        *format = D3DFMT_X8R8G8B8;
        return true;
    }
    return false;
}

// The display as the window service reports it.
void TakeDesktop(D3D9Profile* profile) {
    DisplayMode current = CurrentDisplayMode();
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    FormatForBits(static_cast<DWORD>(current.bitsPerPixel), &format);
    profile->displayMode = {static_cast<UINT>(current.width), static_cast<UINT>(current.height),
                            static_cast<UINT>(current.refreshRate), format};
    profile->displayModes.clear();
    DEVMODEA mode;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) {
        if (FormatForBits(mode.dmBitsPerPel, &format)) {
            profile->displayModes.push_back(
                {mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency, format});
        }
    }
}

int64_t MonotonicMicroseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

D3D9Profile DefaultD3D9Profile() {
    D3D9Profile profile;
    profile.vertexShaderVersion = D3DVS_VERSION(2, 0);
    profile.pixelShaderVersion = D3DPS_VERSION(2, 0);
    profile.primitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                                D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_TSSARGTEMP |
                                D3DPMISCCAPS_BLENDOP;
    profile.maxTextureWidth = 4096;
    profile.maxTextureHeight = 4096;
    profile.squareTexturesOnly = false;
    profile.followDesktop = true;
    profile.textureFormats = {D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4,
                              D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_DXT1,     D3DFMT_DXT2,
                              D3DFMT_DXT3,     D3DFMT_DXT4,     D3DFMT_DXT5};
    profile.renderTargetTextureFormats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                          D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4};
    profile.depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
    profile.videoFormats = {MAKEFOURCC('Y', 'V', '1', '2'), MAKEFOURCC('Y', 'U', 'Y', '2'),
                            MAKEFOURCC('U', 'Y', 'V', 'Y')};
    profile.displayMode = {1024, 768, 60, D3DFMT_X8R8G8B8};
    const UINT sizes[][2] = {{320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 960}};
    for (D3DFORMAT format : {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}) {
        for (const auto& size : sizes) {
            profile.displayModes.push_back({size[0], size[1], 60, format});
        }
    }
    profile.driver = "cpu3d.dll";
    profile.description = "CPU Direct3D 9 device";
    return profile;
}

void SetD3D9Profile(const D3D9Profile& profile) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.profile = profile;
    hooks.profileReady = true;
}

void ResetD3D9Profile() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.profile = EnvironmentProfile();
    hooks.profileReady = true;
}

void FailNextD3D9Calls(D3D9FailPoint point, int count) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.failures[point] = std::max(0, count);
}

void LoseD3D9Devices() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    for (d3d9::Device* device : hooks.devices) {
        device->MakeLost();
    }
}

namespace {

std::atomic<int> g_poisonFill{-1};  // -1: not yet read from the environment

}  // namespace

void SetD3D9PoisonFill(bool on) {
    g_poisonFill.store(on ? 1 : 0);
}

bool D3D9PoisonFill() {
    int state = g_poisonFill.load();
    if (state < 0) {
        const char* value = std::getenv("TESSEL_D3D9_POISON");
        state = value != nullptr && value[0] != '\0' && value[0] != '0' ? 1 : 0;
        int expected = -1;
        g_poisonFill.compare_exchange_strong(expected, state);
        state = g_poisonFill.load();
    }
    return state == 1;
}

IDirect3DDevice9* CurrentD3D9Device() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    return hooks.devices.empty() ? nullptr : hooks.devices.back();
}

const char* D3D9RefusalName(D3D9Refusal reason) {
    return InfoFor(reason).name;
}

const char* D3D9RefusalText(D3D9Refusal reason) {
    return InfoFor(reason).text;
}

HRESULT D3D9RefusalResult(D3D9Refusal reason) {
    return InfoFor(reason).result;
}

D3D9Rejection LastD3D9Rejection() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    return hooks.lastRejection;
}

D3D9Refusal LastD3D9Refusal() {
    return static_cast<D3D9Refusal>(g_lastRefusal.load());
}

uint64_t D3D9RefusalCount() {
    return g_refusalCount.load();
}

void SetD3D9TraceRecording(bool on) {
    g_recording.store(on);
}

void ClearD3D9Trace() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.entries.clear();
    for (CounterSlot& slot : g_counters) {
        slot.count.store(0);
    }
}

std::vector<D3D9TraceEntry> D3D9Trace() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    return hooks.entries;
}

int D3D9CallCount(const char* method) {
    int total = 0;
    for (const CounterSlot& slot : g_counters) {
        const char* held = slot.method.load(std::memory_order_acquire);
        if (held != nullptr && std::strcmp(held, method) == 0) {
            total += slot.count.load(std::memory_order_relaxed);
        }
    }
    return total;
}

uint32_t ReadD3D9SurfacePixel(IDirect3DSurface9* surface, int x, int y) {
    d3d9::Surface* s = d3d9::AsSurface(surface);
    if (s == nullptr || x < 0 || y < 0 || x >= s->Width() || y >= s->Height()) {
        return 0;
    }
    s->SettlePendingDraws();
    return s->ReadArgb(x, y);
}

uint32_t ReadD3D9BackBufferPixel(IDirect3DDevice9* device, int x, int y) {
    if (device == nullptr) {
        return 0;
    }
    auto* d = static_cast<d3d9::Device*>(device);
    return ReadD3D9SurfacePixel(d->ImplicitSwapChain()->BackBuffer(), x, y);
}

uint32_t ReadWindowPixel(HWND window, int x, int y) {
    WindowFramebuffer framebuffer;
    if (!LockWindowFramebuffer(window, &framebuffer)) {
        return 0;
    }
    uint32_t pixel = 0;
    if (x >= 0 && y >= 0 && x < framebuffer.width && y < framebuffer.height) {
        pixel =
            framebuffer.pixels[static_cast<size_t>(y) * (framebuffer.pitch / 4) + x] & 0x00FFFFFFu;
    }
    UnlockWindowFramebuffer(window, false);
    return pixel;
}

void WriteD3D9SurfacePixel(IDirect3DSurface9* surface, int x, int y, uint32_t argb) {
    d3d9::Surface* s = d3d9::AsSurface(surface);
    if (s == nullptr || x < 0 || y < 0 || x >= s->Width() || y >= s->Height()) {
        return;
    }
    s->SettlePendingDraws();
    s->WriteArgb(x, y, argb);
}

void SetVirtualVerticalBlank(bool on) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.virtualBlank = on;
}

uint64_t VerticalBlankCount() {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    return hooks.blankCount;
}

namespace d3d9 {

void Enter(const char* method) {
    t_method = method;
}

void Trace(const char* method, const char* format, ...) {
    t_method = method;
    CountCall(method);
    if (!g_recording.load(std::memory_order_relaxed)) {
        return;
    }
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.entries.push_back({method, text, {}, D3D9Refusal::None});
}

void TraceVertices(const void* data, size_t bytes) {
    if (!g_recording.load(std::memory_order_relaxed) || data == nullptr) {
        return;
    }
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    if (hooks.entries.empty()) {
        return;
    }
    const auto* begin = static_cast<const uint8_t*>(data);
    hooks.entries.back().vertices.assign(begin, begin + bytes);
}

bool TraceRecording() {
    return g_recording.load(std::memory_order_relaxed);
}

HRESULT Refuse(D3D9Refusal reason) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    g_lastRefusal.store(static_cast<int>(reason));
    g_refusalCount.fetch_add(1);
    hooks.lastRejection = {t_method, reason};
    // The entry traced last is this call's only when it names this method.
    if (g_recording.load(std::memory_order_relaxed) && !hooks.entries.empty() &&
        hooks.entries.back().method == t_method) {
        hooks.entries.back().refusal = reason;
    }
    return InfoFor(reason).result;
}

std::string FormatRect(const RECT* rect) {
    if (rect == nullptr) {
        return "null";
    }
    char text[64];
    std::snprintf(text, sizeof text, "(%d, %d, %d, %d)", rect->left, rect->top, rect->right,
                  rect->bottom);
    return text;
}

D3D9Profile ActiveProfile() {
    HookState& hooks = Hooks();
    D3D9Profile profile;
    {
        std::lock_guard<std::mutex> guard(hooks.lock);
        EnsureProfile(hooks);
        profile = hooks.profile;
    }
    if (profile.followDesktop) {
        TakeDesktop(&profile);
    }
    return profile;
}

bool ConsumeFailure(D3D9FailPoint point) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    auto found = hooks.failures.find(point);
    if (found == hooks.failures.end() || found->second == 0) {
        return false;
    }
    --found->second;
    return true;
}

void RegisterLiveDevice(Device* device) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.devices.push_back(device);
}

void UnregisterLiveDevice(Device* device) {
    HookState& hooks = Hooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    hooks.devices.erase(std::remove(hooks.devices.begin(), hooks.devices.end(), device),
                        hooks.devices.end());
}

void WaitForNextVerticalBlank() {
    HookState& hooks = Hooks();
    {
        std::lock_guard<std::mutex> guard(hooks.lock);
        if (hooks.virtualBlank) {
            ++hooks.blankCount;
            return;
        }
    }
    UINT refresh = ActiveProfile().displayMode.RefreshRate;
    int64_t period = 1000000 / static_cast<int64_t>(refresh == 0 ? 60 : refresh);
    // Blanks fall on whole multiples of the period of the monotonic clock.
    int64_t now = MonotonicMicroseconds();
    int64_t next = (now / period + 1) * period;
    timespec until;
    until.tv_sec = static_cast<time_t>(next / 1000000);
    until.tv_nsec = static_cast<long>((next % 1000000) * 1000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    }
    std::lock_guard<std::mutex> guard(hooks.lock);
    ++hooks.blankCount;
}

}  // namespace d3d9

}  // namespace platform
