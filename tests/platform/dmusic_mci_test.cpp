// Where the sound system would reach for DirectMusic or MCI MIDI, both fail
// cleanly, as on a machine without them; and a time-critical thread priority
// is granted or refused without the request failing.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

#include "platform/dmusic.h"
#include "platform/kernel.h"
#include "platform/winmm.h"

namespace {

TEST(DirectMusic, NoClassIsThere) {
    struct Class {
        const CLSID* classId;
        const IID* iid;
    };
    const Class classes[] = {
        {&CLSID_DirectMusicLoader, &IID_IDirectMusicLoader8},
        {&CLSID_DirectMusicPerformance, &IID_IDirectMusicPerformance8},
        {&CLSID_DirectMusic, &IID_IDirectMusic},
        {&CLSID_DirectMusic, &IID_IDirectMusic8},
    };
    for (const Class& c : classes) {
        void* object = &object;
        EXPECT_EQ(CoCreateInstance(*c.classId, nullptr, CLSCTX_INPROC_SERVER, *c.iid, &object),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(object, nullptr);
    }
}

TEST(Mci, CommandsFindNoOpenDevice) {
    MCI_PLAY_PARMS play = {};
    play.dwFrom = 0;
    EXPECT_EQ(
        mciSendCommandA(0, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<DWORD_PTR>(&play)),
        MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommandA(1, MCI_CLOSE, 0, 0), MCIERR_INVALID_DEVICE_ID);
}

// Whether this process may lower a thread's niceness that far, asked of a
// thread of its own.
bool SystemLetsAThreadRaiseItself() {
    bool allowed = false;
    std::thread probe([&] {
        allowed = setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)),
                              platform::kTimeCriticalNiceness) == 0;
    });
    probe.join();
    return allowed;
}

DWORD WaitForStart(LPVOID event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST(ThreadPriority, TimeCriticalIsAskedForAndARefusalIgnored) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitForStart, go, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    int before = getpriority(PRIO_PROCESS, id);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
    // A privileged process gets it; any other is refused and runs on as it was.
    int after = getpriority(PRIO_PROCESS, id);
    bool mayRaise = SystemLetsAThreadRaiseItself();
    EXPECT_EQ(after, mayRaise ? platform::kTimeCriticalNiceness : before);
    ResumeThread(thread);
    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    CloseHandle(go);
}

}  // namespace
