// The per-frame copies of presentation: the Direct3D path presents a 640x480
// back buffer (after copying the sub back buffer onto it in full screen), the
// software path blits a 640x480 DIB; both at window scale 1 and 2.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/d3d9.h"
#include "platform/gdi.h"
#include "platform/window.h"
#include "support/spread.h"
#include "tests/platform/dib_test_support.h"
#include "tests/platform/popup_window.h"

namespace {

HWND MakeWindow(int width, int height) {
    return windowtest::MakePopupWindow("BenchPresent", "bench", width, height);
}

struct Device {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    HWND window = nullptr;

    Device(int scale, D3DFORMAT format) {
        window = MakeWindow(640 * scale, 480 * scale);
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = 640;
        p.BackBufferHeight = 480;
        p.BackBufferFormat = format;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_COPY;
        p.hDeviceWindow = window;
        p.Windowed = TRUE;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p,
                          &device);
    }
    ~Device() {
        device->Release();
        d3d->Release();
        DestroyWindow(window);
    }
};

void BM_Present(benchmark::State& state) {
    int scale = static_cast<int>(state.range(0));
    D3DFORMAT format = state.range(1) == 16 ? D3DFMT_R5G6B5 : D3DFMT_X8R8G8B8;
    Device d(scale, format);
    RECT dest = {0, 0, 640 * scale, 480 * scale};
    for (auto _ : state) {
        d.device->Present(nullptr, &dest, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Present)
    ->Args({1, 32})
    ->Args({2, 32})
    ->Args({1, 16})
    ->Args({2, 16})
    ->Unit(benchmark::kMicrosecond);

void BM_SubBackBufferCopy(benchmark::State& state) {
    Device d(1, D3DFMT_X8R8G8B8);
    IDirect3DSurface9* sub = nullptr;
    IDirect3DSurface9* back = nullptr;
    d.device->CreateRenderTarget(640, 480, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &sub,
                                 nullptr);
    d.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    for (auto _ : state) {
        d.device->StretchRect(sub, nullptr, back, nullptr, D3DTEXF_NONE);
    }
    state.SetItemsProcessed(state.iterations());
    back->Release();
    sub->Release();
}
BENCHMARK(BM_SubBackBufferCopy)->Unit(benchmark::kMicrosecond);

void BM_StretchDIBits(benchmark::State& state) {
    int scale = static_cast<int>(state.range(0));
    HWND window = MakeWindow(640 * scale, 480 * scale);
    HDC dc = GetDC(window);
    dibtest::DibHeader dib(640, -480, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
    std::vector<uint16_t> pixels(640 * 480);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
    }
    for (auto _ : state) {
        StretchDIBits(dc, 0, 0, 640 * scale, 480 * scale, 0, 0, 640, 480, pixels.data(), dib.Info(),
                      DIB_RGB_COLORS, SRCCOPY);
    }
    state.SetItemsProcessed(state.iterations());
    ReleaseDC(window, dc);
    DestroyWindow(window);
}
BENCHMARK(BM_StretchDIBits)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The software path's blit over the Direct3D path's presentation at each
// scale: above 1, presenting costs less.
void PrintSummary(const benchspread::SpreadReporter& r) {
    benchspread::PrintSideBySideHeader("us a frame, CPU", "Present", "StretchDIBits",
                                       "DIB/Present [spread]");
    for (const char* scale : {"1", "2"}) {
        const benchspread::Samples dib = benchspread::Scaled(
            r.Get(std::string("BM_StretchDIBits/") + scale, "cpu_seconds"), 1e6);
        for (const char* bits : {"32", "16"}) {
            const benchspread::Samples present = benchspread::Scaled(
                r.Get(std::string("BM_Present/") + scale + "/" + bits, "cpu_seconds"), 1e6);
            benchspread::PrintSideBySideRow(
                std::string("scale ") + scale + ", back buffer at " + bits + " bits", present, dib,
                benchspread::Ratios(dib, present), 0, "%.1f");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Headless unless a display is asked for.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    return benchspread::RunWithSummary(argc, argv, PrintSummary);
}
