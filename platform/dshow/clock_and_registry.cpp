// The system reference clock (a monotonic clock in 100 ns units with one
// thread that sets advised events when they fall due), the registry of
// filters that intelligent connect may insert, and the null renderer.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dshow/filters/media_filters_internal.h"
#include "platform/dshow/graph_internal.h"
#include "platform/dshow/objects_internal.h"
#include "platform/dshow_testing.h"
#include "platform/kernel.h"
#include "platform/layer_modules.h"

namespace platform::dshow {

namespace {

class SystemClock final : public IReferenceClock {
  public:
    SystemClock() { CountObjectMade(); }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        return QueryFor(this, iid, object, {&IID_IReferenceClock});
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT GetTime(REFERENCE_TIME* time) override {
        if (time == nullptr) {
            return E_POINTER;
        }
        *time = Now();
        return S_OK;
    }

    HRESULT AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                       DWORD_PTR* cookie) override {
        if (cookie == nullptr) {
            return E_POINTER;
        }
        REFERENCE_TIME due = baseTime + streamTime;
        if (due <= Now()) {
            SetEvent(reinterpret_cast<HANDLE>(event));
            *cookie = 0;
            return S_OK;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        *cookie = ++lastCookie_;
        advises_.push_back({*cookie, due, reinterpret_cast<HANDLE>(event)});
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Serve(); });
        }
        changed_.notify_all();
        return S_OK;
    }

    HRESULT AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HANDLE, DWORD_PTR*) override {
        return E_NOTIMPL;
    }

    HRESULT Unadvise(DWORD_PTR cookie) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::remove_if(advises_.begin(), advises_.end(),
                                 [cookie](const Advise& a) { return a.cookie == cookie; });
        bool found = it != advises_.end();
        advises_.erase(it, advises_.end());
        return found ? S_OK : S_FALSE;
    }

  private:
    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        HANDLE event;
    };

    ~SystemClock() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
        CountObjectGone();
    }

    static REFERENCE_TIME Now() {
        auto since = std::chrono::steady_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
    }

    void Serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!ending_) {
            REFERENCE_TIME now = Now();
            REFERENCE_TIME next = INT64_MAX;
            for (auto it = advises_.begin(); it != advises_.end();) {
                if (it->due <= now) {
                    SetEvent(it->event);
                    it = advises_.erase(it);
                } else {
                    next = std::min(next, it->due);
                    ++it;
                }
            }
            if (next == INT64_MAX) {
                changed_.wait(lock);
            } else {
                changed_.wait_for(lock, std::chrono::nanoseconds((next - now) * 100));
            }
        }
    }

    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Advise> advises_;
    DWORD_PTR lastCookie_ = 0;
    bool ending_ = false;
    std::thread thread_;
};

// Takes whatever it is given; the end of a chain that must not play.
class NullRenderer final : public CBaseRenderer {
  public:
    explicit NullRenderer(HRESULT* result)
        : CBaseRenderer(CLSID_NullRenderer, "Null Renderer", nullptr, result) {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        (void)type;
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        (void)sample;
        return S_OK;
    }
};

std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}

std::vector<MediaFilterRegistration>& Filters() {
    static std::vector<MediaFilterRegistration> filters;
    return filters;
}

std::vector<FileSourceRegistration>& FileSources() {
    static std::vector<FileSourceRegistration> sources;
    return sources;
}

bool TypeMatches(const MediaTypePair& accepted, const AM_MEDIA_TYPE& offered) {
    return (accepted.majorType == GUID_NULL || accepted.majorType == offered.majortype) &&
           (accepted.subtype == GUID_NULL || accepted.subtype == offered.subtype);
}

}  // namespace

HRESULT CreateNullRenderer(REFIID iid, void** object) {
    HRESULT result = S_OK;
    auto* renderer = new NullRenderer(&result);
    renderer->NonDelegatingAddRef();
    HRESULT answer = renderer->NonDelegatingQueryInterface(iid, object);
    renderer->NonDelegatingRelease();
    return answer;
}

HRESULT CreateMemoryAllocator(REFIID iid, void** object) {
    HRESULT result = S_OK;
    auto* allocator = new CMemAllocator("memory allocator", nullptr, &result);
    allocator->NonDelegatingAddRef();
    HRESULT answer = allocator->NonDelegatingQueryInterface(iid, object);
    allocator->NonDelegatingRelease();
    return answer;
}

IReferenceClock* CreateSystemClock() {
    return new SystemClock();
}

std::vector<MediaFilterRegistration> FiltersTaking(const std::vector<CMediaType>& offered) {
    std::vector<MediaFilterRegistration> found;
    {
        std::lock_guard<std::mutex> lock(RegistryLock());
        for (const MediaFilterRegistration& candidate : Filters()) {
            if (candidate.merit <= MERIT_DO_NOT_USE) {
                continue;
            }
            bool takes = false;
            for (const MediaTypePair& accepted : candidate.inputTypes) {
                for (const CMediaType& type : offered) {
                    takes = takes || TypeMatches(accepted, type);
                }
            }
            if (takes) {
                found.push_back(candidate);
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const MediaFilterRegistration& a, const MediaFilterRegistration& b) {
                         return a.merit > b.merit;
                     });
    return found;
}

std::vector<FileSourceRegistration> FileSourcesAccepting(const BYTE* head, size_t length) {
    std::vector<FileSourceRegistration> found;
    {
        std::lock_guard<std::mutex> lock(RegistryLock());
        for (const FileSourceRegistration& source : FileSources()) {
            if (source.merit > MERIT_DO_NOT_USE && source.accepts(head, length)) {
                found.push_back(source);
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FileSourceRegistration& a, const FileSourceRegistration& b) {
                         return a.merit > b.merit;
                     });
    return found;
}

}  // namespace platform::dshow

namespace platform {

void RegisterMediaFilter(const MediaFilterRegistration& registration) {
    std::lock_guard<std::mutex> lock(dshow::RegistryLock());
    auto& filters = dshow::Filters();
    for (MediaFilterRegistration& known : filters) {
        if (known.classId == registration.classId) {
            known = registration;
            return;
        }
    }
    filters.push_back(registration);
}

void RegisterFileSource(const FileSourceRegistration& registration) {
    std::lock_guard<std::mutex> lock(dshow::RegistryLock());
    auto& sources = dshow::FileSources();
    for (FileSourceRegistration& known : sources) {
        if (known.classId == registration.classId) {
            known = registration;
            return;
        }
    }
    sources.push_back(registration);
}

void UnregisterMediaFilter(const CLSID& classId) {
    std::lock_guard<std::mutex> lock(dshow::RegistryLock());
    auto& filters = dshow::Filters();
    filters.erase(std::remove_if(filters.begin(), filters.end(),
                                 [&](const MediaFilterRegistration& known) {
                                     return known.classId == classId;
                                 }),
                  filters.end());
}

void UnregisterFileSource(const CLSID& classId) {
    std::lock_guard<std::mutex> lock(dshow::RegistryLock());
    auto& sources = dshow::FileSources();
    sources.erase(std::remove_if(sources.begin(), sources.end(),
                                 [&](const FileSourceRegistration& known) {
                                     return known.classId == classId;
                                 }),
                  sources.end());
}

void RegisterDirectShowClasses() {
    RegisterComClass(CLSID_FilterGraph, dshow::CreateFilterGraph);
    RegisterComClass(CLSID_NullRenderer, dshow::CreateNullRenderer);
    RegisterComClass(CLSID_MemoryAllocator, dshow::CreateMemoryAllocator);
    dshow::RegisterMediaDecoders();
}

}  // namespace platform
