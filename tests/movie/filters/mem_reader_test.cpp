// The memory reader: the stream's positions, reads cut at the end and its
// rate limit; the read queue's results, its flush and its refusals; and the
// output pin's type, connection, allocator and sample reads.
#include "movie/filters/mem_reader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "movie/filters/async_reader_internal.h"
#include "platform/dshow_testing.h"
#include "platform/winmm.h"

namespace {

using tessel::AsyncReadQueue;
using tessel::T_CMemStream;

constexpr REFERENCE_TIME kUnitsPerByte = 10000000;

std::vector<BYTE> Counting(size_t n) {
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<BYTE>(i * 13 + 5);
    }
    return bytes;
}

TEST(MemStream, SetPointerTakesEveryPositionUpToTheLength) {
    std::vector<BYTE> bytes = Counting(100);
    T_CMemStream* stream = tessel::CreateMemStream(bytes.data(), 100, 0xFFFFFFFFu);
    ASSERT_NE(stream, nullptr);
    const std::pair<LONGLONG, HRESULT> cases[] = {
        {-1, S_FALSE}, {0, S_OK}, {57, S_OK}, {100, S_OK}, {101, S_FALSE}, {1LL << 40, S_FALSE}};
    for (auto [position, expected] : cases) {
        EXPECT_EQ(stream->SetPointer(position), expected) << position;
    }
    tessel::DestroyMemStream(stream);
}

TEST(MemStream, ReadPastTheEndGivesTheBytesUpToTheEnd) {
    std::vector<BYTE> bytes = Counting(100);
    T_CMemStream* stream = tessel::CreateMemStream(bytes.data(), 100, 0xFFFFFFFFu);
    ASSERT_EQ(stream->SetPointer(93), S_OK);
    std::vector<BYTE> into(20, 0xEE);
    DWORD read = 0;
    ASSERT_EQ(stream->Read(into.data(), 20, FALSE, &read), S_OK);
    EXPECT_EQ(read, 7u);
    EXPECT_TRUE(std::equal(into.begin(), into.begin() + 7, bytes.begin() + 93));
    EXPECT_EQ(into[7], 0xEE);
    ASSERT_EQ(stream->Read(into.data(), 20, FALSE, &read), S_OK);
    EXPECT_EQ(read, 0u);
    tessel::DestroyMemStream(stream);
}

// No limit: the whole length is there from the first millisecond, however
// long (the bytes of a length this size are never touched by Size).
TEST(MemStream, UnlimitedRatesMakeEverythingAvailableAtOnce) {
    BYTE byte = 7;
    for (DWORD rate : {0xFFFFFFFFu, 0u}) {
        T_CMemStream* stream = tessel::CreateMemStream(&byte, 1LL << 40, rate);
        LONGLONG available = 0;
        EXPECT_EQ(stream->Size(&available), 1LL << 40) << rate;
        EXPECT_EQ(available, 1LL << 40) << rate;
        tessel::DestroyMemStream(stream);
    }
    // A rate of 0 reads without waiting and without dividing by it.
    std::vector<BYTE> bytes = Counting(50);
    T_CMemStream* stream = tessel::CreateMemStream(bytes.data(), 50, 0);
    std::vector<BYTE> into(50);
    DWORD read = 0;
    ASSERT_EQ(stream->Read(into.data(), 50, FALSE, &read), S_OK);
    EXPECT_EQ(into, bytes);
    tessel::DestroyMemStream(stream);
}

// At 3 bytes a millisecond, 240 bytes are not through before 80 ms have
// passed since the stream was made.
TEST(MemStream, ALimitedRateHoldsReadsBack) {
    std::vector<BYTE> bytes = Counting(240);
    DWORD before = timeGetTime();
    T_CMemStream* stream = tessel::CreateMemStream(bytes.data(), 240, 3);
    LONGLONG available = -1;
    stream->Size(&available);
    EXPECT_LE(available, 240);
    std::vector<BYTE> into(240);
    DWORD read = 0;
    ASSERT_EQ(stream->Read(into.data(), 240, FALSE, &read), S_OK);
    EXPECT_GE(timeGetTime() - before, 80u);
    EXPECT_EQ(into, bytes);
    tessel::DestroyMemStream(stream);
}

// A stream whose reads wait at a gate the test opens, and that can give
// fewer bytes than it has.
class GateStream final : public T_CMemStream {
  public:
    GateStream(const BYTE* data, LONGLONG length) : T_CMemStream(data, length, 0xFFFFFFFFu) {}
    HRESULT Read(BYTE* buffer, DWORD count, BOOL aligned, LPDWORD readOut) override {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        HRESULT result = T_CMemStream::Read(buffer, count, aligned, readOut);
        if (shortBy_ > 0 && *readOut >= shortBy_) {
            *readOut -= shortBy_;
        }
        return result;
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void WaitUntilEntered(int reads) {
        std::unique_lock<std::mutex> lock(mutex_);
        ASSERT_TRUE(
            changed_.wait_for(lock, std::chrono::seconds(60), [&] { return entered_ >= reads; }));
    }
    DWORD shortBy_ = 0;

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    bool open_ = false;
};

struct Done {
    HRESULT result;
    DWORD_PTR user;
    LONG actual;
};

Done Next(AsyncReadQueue* queue, DWORD timeout = 60000) {
    LPVOID context = nullptr;
    Done done{};
    done.result = queue->WaitForNext(timeout, &context, &done.user, &done.actual);
    return done;
}

// Short reads count as the end of the data only where the data ends.
TEST(AsyncReadQueue, ShortReadIsFineOnlyAtTheEnd) {
    std::vector<BYTE> bytes = Counting(100);
    GateStream stream(bytes.data(), 100);
    stream.Open();
    AsyncReadQueue queue(&stream);
    std::vector<BYTE> a(64);
    std::vector<BYTE> b(64);
    std::vector<BYTE> c(64);
    ASSERT_EQ(queue.Request(0, 64, FALSE, a.data(), nullptr, 1), S_OK);
    ASSERT_EQ(queue.Request(90, 64, FALSE, b.data(), nullptr, 2), S_OK);
    ASSERT_EQ(queue.Request(101, 4, FALSE, c.data(), nullptr, 3), S_OK);
    Done first = Next(&queue);
    EXPECT_EQ(first.user, 1u);
    EXPECT_EQ(first.result, S_OK);
    EXPECT_EQ(first.actual, 64);
    Done second = Next(&queue);
    EXPECT_EQ(second.user, 2u);
    EXPECT_EQ(second.result, S_OK);  // 90 + 10 ends at the size
    EXPECT_EQ(second.actual, 10);
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 10, bytes.begin() + 90));
    Done third = Next(&queue);
    EXPECT_EQ(third.user, 3u);
    EXPECT_EQ(third.result, E_FAIL);  // past the end: nothing read
    EXPECT_EQ(Next(&queue, 0).result, VFW_E_TIMEOUT);
    // A stream that stops short in the middle is a failure.
    stream.shortBy_ = 5;
    ASSERT_EQ(queue.Request(10, 20, FALSE, a.data(), nullptr, 4), S_OK);
    Done cut = Next(&queue);
    EXPECT_EQ(cut.result, E_FAIL);
    EXPECT_EQ(cut.actual, 15);
}

// While a read is under way, a flush sends the waiting requests back
// unperformed and returns once the read under way is done; requests made
// during the flush are refused, and after it they are taken again.
TEST(AsyncReadQueue, FlushSendsWaitingRequestsBackUnperformed) {
    std::vector<BYTE> bytes = Counting(100);
    GateStream stream(bytes.data(), 100);
    AsyncReadQueue queue(&stream);
    std::vector<BYTE> buffer(64);
    ASSERT_EQ(queue.Request(0, 16, FALSE, buffer.data(), nullptr, 100), S_OK);
    stream.WaitUntilEntered(1);
    ASSERT_EQ(queue.Request(16, 16, FALSE, buffer.data() + 16, nullptr, 101), S_OK);
    ASSERT_EQ(queue.Request(32, 16, FALSE, buffer.data() + 32, nullptr, 102), S_OK);
    std::thread flusher([&] { queue.BeginFlush(); });
    // Requests go on being taken until the flush has begun.
    // These are never performed, so they may share a buffer.
    // The flusher is joined before any check can end the test.
    DWORD_PTR nextUser = 103;
    HRESULT taken = S_OK;
    while (nextUser < 60000) {
        taken = queue.Request(0, 16, FALSE, buffer.data() + 48, nullptr, nextUser);
        if (taken != S_OK) {
            break;
        }
        ++nextUser;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stream.Open();
    flusher.join();
    ASSERT_EQ(taken, VFW_E_WRONG_STATE) << "the flush never began";
    // The waiting requests first, in order, never read; then the one under way.
    for (DWORD_PTR user = 101; user < nextUser; ++user) {
        Done sent = Next(&queue);
        EXPECT_EQ(sent.user, user);
        EXPECT_EQ(sent.result, VFW_E_TIMEOUT);
    }
    Done performed = Next(&queue);
    EXPECT_EQ(performed.user, 100u);
    EXPECT_EQ(performed.result, S_OK);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 16, bytes.begin()));
    // Flushing with nothing left: waiting says so at once.
    EXPECT_EQ(Next(&queue).result, VFW_E_WRONG_STATE);
    ASSERT_EQ(queue.EndFlush(), S_OK);
    EXPECT_EQ(Next(&queue, 0).result, VFW_E_TIMEOUT);
    ASSERT_EQ(queue.Request(50, 10, FALSE, buffer.data(), nullptr, 7), S_OK);
    Done after = Next(&queue);
    EXPECT_EQ(after.user, 7u);
    EXPECT_EQ(after.result, S_OK);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 10, bytes.begin() + 50));
}

// ---- the filter and its pin --------------------------------------------

// An input pin that pulls, as parsers do: it asks for the reader.
class PullingPin final : public CBasePin {
  public:
    PullingPin(CBaseFilter* filter, CCritSec* lock, bool asks)
        : CBasePin("pulling pin", filter, lock, &result_, u"In", PINDIR_INPUT), asks_(asks) {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT CheckConnect(IPin* pin) override {
        HRESULT result = CBasePin::CheckConnect(pin);
        if (SUCCEEDED(result) && asks_) {
            void* reader = nullptr;
            result = pin->QueryInterface(IID_IAsyncReader, &reader);
            if (SUCCEEDED(result)) {
                static_cast<IAsyncReader*>(reader)->Release();
            }
        }
        return result;
    }
    HRESULT BeginFlush() override { return S_OK; }
    HRESULT EndFlush() override { return S_OK; }

  private:
    HRESULT result_ = S_OK;
    bool asks_;
};

class PullingFilter final : public CBaseFilter {
  public:
    explicit PullingFilter(bool asks)
        : CBaseFilter("pulling filter", nullptr, &lock_, GUID_NULL), pin_(this, &lock_, asks) {}
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }

  private:
    CCritSec lock_;
    PullingPin pin_;
};

class MemReaderTest : public testing::Test {
  protected:
    void SetUp() override {
        liveBefore_ = platform::LiveMediaObjects();
        bytes_ = Counting(1000);
        stream_ = tessel::CreateMemStream(bytes_.data(), 1000, 0xFFFFFFFFu);
        CMediaType type;
        type.SetType(&MEDIATYPE_Stream);
        type.SetSubtype(&MEDIASUBTYPE_MPEG1Audio);
        HRESULT result = E_FAIL;
        filter_ = tessel::CreateMemReader(stream_, &type, &result);
        ASSERT_NE(filter_, nullptr);
        ASSERT_EQ(result, S_OK);
        filter_->AddRef();
        pin_ = static_cast<tessel::AsyncReaderFilter*>(filter_)->GetPin(0);
        void* object = nullptr;
        ASSERT_EQ(pin_->QueryInterface(IID_IAsyncReader, &object), S_OK);
        reader_ = static_cast<IAsyncReader*>(object);
        allocator_ = new CMemAllocator("test allocator", nullptr, &made_);
        allocator_->AddRef();
        ALLOCATOR_PROPERTIES wanted{4, 64, 1, 0};
        ALLOCATOR_PROPERTIES actual{};
        ASSERT_EQ(allocator_->SetProperties(&wanted, &actual), S_OK);
        ASSERT_EQ(allocator_->Commit(), S_OK);
    }
    void TearDown() override {
        allocator_->Decommit();
        allocator_->Release();
        reader_->Release();
        filter_->Release();
        tessel::DestroyMemStream(stream_);
        EXPECT_EQ(platform::LiveMediaObjects(), liveBefore_);
    }
    IMediaSample* Sample(LONGLONG position, LONGLONG length) {
        IMediaSample* sample = nullptr;
        EXPECT_EQ(allocator_->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        REFERENCE_TIME start = position * kUnitsPerByte;
        REFERENCE_TIME stop = (position + length) * kUnitsPerByte;
        sample->SetTime(&start, &stop);
        return sample;
    }

    std::vector<BYTE> bytes_;
    T_CMemStream* stream_ = nullptr;
    IBaseFilter* filter_ = nullptr;
    CBasePin* pin_ = nullptr;
    IAsyncReader* reader_ = nullptr;
    HRESULT made_ = S_OK;
    CMemAllocator* allocator_ = nullptr;
    long liveBefore_ = 0;
};

TEST_F(MemReaderTest, SampleReadsStopAtTheEndOfTheStream) {
    struct Case {
        LONGLONG position;
        LONGLONG length;
        HRESULT result;
        LONG actual;
        REFERENCE_TIME stop;  // in bytes
        HRESULT syncResult;
    };
    const Case cases[] = {
        {0, 64, S_OK, 64, 64, S_OK},
        {990, 64, S_OK, 10, 1000, S_OK},       // cut at the end, the stop time with it
        {1000, 64, S_OK, 0, 1000, S_OK},       // nothing left, but nothing missing
        {1010, 64, E_FAIL, 0, 1010, S_FALSE},  // past the end: the position is refused
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        IMediaSample* sample = Sample(c.position, c.length);
        ASSERT_EQ(reader_->Request(sample, 77), S_OK);
        IMediaSample* back = nullptr;
        DWORD_PTR user = 0;
        EXPECT_EQ(reader_->WaitForNext(60000, &back, &user), c.result);
        EXPECT_EQ(back, sample);
        EXPECT_EQ(user, 77u);
        EXPECT_EQ(sample->GetActualDataLength(), c.actual);
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        sample->GetTime(&start, &stop);
        EXPECT_EQ(stop, c.stop * kUnitsPerByte);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (c.actual > 0) {
            EXPECT_TRUE(std::equal(data, data + c.actual, bytes_.begin() + c.position));
        }
        // The same range read at once.
        sample->SetTime(&start, &stop);
        sample->SetActualDataLength(0);
        EXPECT_EQ(reader_->SyncReadAligned(sample), c.syncResult);
        EXPECT_EQ(sample->GetActualDataLength(), c.actual);
        sample->Release();
    }
    // A range longer than the sample's buffer is refused, not overrun.
    IMediaSample* small = Sample(0, 65);
    EXPECT_EQ(reader_->Request(small, 0), E_INVALIDARG);
    EXPECT_EQ(reader_->SyncReadAligned(small), E_INVALIDARG);
    small->Release();
}

TEST_F(MemReaderTest, SyncReadAndLength) {
    std::vector<BYTE> into(32, 0);
    EXPECT_EQ(reader_->SyncRead(500, 32, into.data()), S_OK);
    EXPECT_TRUE(std::equal(into.begin(), into.end(), bytes_.begin() + 500));
    EXPECT_EQ(reader_->SyncRead(980, 32, into.data()), S_FALSE);
    EXPECT_TRUE(std::equal(into.begin(), into.begin() + 20, bytes_.begin() + 980));
    EXPECT_EQ(reader_->SyncRead(0, 4, nullptr), E_POINTER);
    LONGLONG total = 0;
    LONGLONG available = 0;
    ASSERT_EQ(reader_->Length(&total, &available), S_OK);
    EXPECT_EQ(total, 1000);
    EXPECT_EQ(available, 1000);
    EXPECT_EQ(reader_->Length(nullptr, &available), E_POINTER);
}

TEST_F(MemReaderTest, RequestsWhileFlushingAreRefused) {
    ASSERT_EQ(reader_->BeginFlush(), S_OK);
    IMediaSample* sample = Sample(0, 8);
    EXPECT_EQ(reader_->Request(sample, 1), VFW_E_WRONG_STATE);
    IMediaSample* back = nullptr;
    DWORD_PTR user = 0;
    EXPECT_EQ(reader_->WaitForNext(0, &back, &user), VFW_E_WRONG_STATE);
    ASSERT_EQ(reader_->EndFlush(), S_OK);
    EXPECT_EQ(reader_->Request(sample, 2), S_OK);
    EXPECT_EQ(reader_->WaitForNext(60000, &back, &user), S_OK);
    EXPECT_EQ(user, 2u);
    sample->Release();
}

TEST_F(MemReaderTest, OffersItsOneType) {
    CMediaType type;
    EXPECT_EQ(pin_->GetMediaType(-1, &type), E_INVALIDARG);
    EXPECT_EQ(pin_->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin_->GetMediaType(0, nullptr), E_POINTER);
    ASSERT_EQ(pin_->GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(type.subtype, MEDIASUBTYPE_MPEG1Audio);
    struct Case {
        GUID major;
        GUID sub;
        HRESULT expected;
    };
    const Case cases[] = {
        {MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio, S_OK},
        {MEDIATYPE_Stream, MEDIASUBTYPE_PCM, S_FALSE},
        {MEDIATYPE_Stream, GUID_NULL, S_FALSE},
        {MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1Audio, S_FALSE},
    };
    for (const Case& c : cases) {
        CMediaType asked;
        asked.SetType(&c.major);
        asked.SetSubtype(&c.sub);
        EXPECT_EQ(pin_->CheckMediaType(&asked), c.expected) << &c - cases;
    }
    // A reader with the subtype left open takes every stream subtype.
    CMediaType open;
    open.SetType(&MEDIATYPE_Stream);
    IBaseFilter* any = tessel::CreateMemReader(stream_, &open, nullptr);
    any->AddRef();
    CMediaType pcm;
    pcm.SetType(&MEDIATYPE_Stream);
    pcm.SetSubtype(&MEDIASUBTYPE_PCM);
    EXPECT_EQ(static_cast<tessel::AsyncReaderFilter*>(any)->GetPin(0)->CheckMediaType(&pcm), S_OK);
    any->Release();
}

TEST_F(MemReaderTest, ConnectsOnlyToPinsThatPull) {
    for (bool asks : {false, true}) {
        auto* sink = new PullingFilter(asks);
        sink->AddRef();
        HRESULT connected = pin_->Connect(sink->GetPin(0), nullptr);
        EXPECT_EQ(SUCCEEDED(connected), asks) << std::hex << connected;
        EXPECT_EQ(pin_->IsConnected(), asks);
        EXPECT_EQ(sink->GetPin(0)->IsConnected(), asks);
        if (asks) {
            EXPECT_EQ(sink->GetPin(0)->Disconnect(), S_OK);
            EXPECT_EQ(pin_->Disconnect(), S_OK);
        }
        sink->Release();
    }
}

TEST_F(MemReaderTest, RequestAllocatorPrefersTheOneOffered) {
    ALLOCATOR_PROPERTIES wanted{2, 128, 0, 0};
    IMemAllocator* actual = nullptr;
    HRESULT made = S_OK;
    auto* preferred = new CMemAllocator("preferred", nullptr, &made);
    preferred->AddRef();
    ASSERT_EQ(reader_->RequestAllocator(preferred, &wanted, &actual), S_OK);
    EXPECT_EQ(actual, preferred);
    ALLOCATOR_PROPERTIES got{};
    actual->GetProperties(&got);
    EXPECT_EQ(got.cbAlign, 1);  // 0 became the stream's alignment
    EXPECT_EQ(got.cbBuffer, 128);
    actual->Release();
    preferred->Release();
    ASSERT_EQ(reader_->RequestAllocator(nullptr, &wanted, &actual), S_OK);
    ASSERT_NE(actual, nullptr);
    actual->GetProperties(&got);
    EXPECT_EQ(got.cBuffers, 2);
    actual->Release();
    EXPECT_EQ(reader_->RequestAllocator(nullptr, nullptr, &actual), E_POINTER);
}

}  // namespace
