// COM initialisation counts per thread, and the reference count and
// interface check every object of the layer shares.
#include <gtest/gtest.h>

#include <thread>

#include "platform/com.h"
#include "platform/ddraw.h"

TEST(ComInitialize, CountsPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    HRESULT otherThread = E_POINTER;
    std::thread([&otherThread] {
        otherThread = CoInitialize(nullptr);
        CoUninitialize();
    }).join();
    EXPECT_EQ(otherThread, S_OK);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
}

namespace {

const IID kTestThingIid = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 8}};
const IID kOtherIid = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 9}};

struct ITestThing : IUnknown {
    virtual int Value() = 0;

  protected:
    ~ITestThing() = default;
};

class TestThing final : public platform::RefCounted<TestThing, ITestThing, &kTestThingIid> {
  public:
    explicit TestThing(bool* gone) : gone_(gone) {}
    ~TestThing() { *gone_ = true; }
    int Value() override { return 7; }

  private:
    bool* gone_;
};

}  // namespace

TEST(ComObject, CountsReferencesAndAnswersOnlyItsInterfaces) {
    bool gone = false;
    ITestThing* thing = new TestThing(&gone);
    EXPECT_EQ(thing->AddRef(), 2u);

    void* answer = nullptr;
    ASSERT_EQ(thing->QueryInterface(kTestThingIid, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(thing));
    ASSERT_EQ(thing->QueryInterface(IID_IUnknown, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(thing));
    answer = thing;
    EXPECT_EQ(thing->QueryInterface(kOtherIid, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(thing->QueryInterface(kTestThingIid, nullptr), E_POINTER);

    // Two references handed out by the answers, two of our own.
    EXPECT_EQ(thing->Release(), 3u);
    EXPECT_EQ(thing->Release(), 2u);
    EXPECT_EQ(thing->Release(), 1u);
    EXPECT_FALSE(gone);
    EXPECT_EQ(thing->Release(), 0u);
    EXPECT_TRUE(gone);
}

TEST(ComObject, ALayerClassAnswersThroughTheSharedCheck) {
    void* made = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IUnknown, &made), S_OK);
    auto* unknown = static_cast<IUnknown*>(made);
    void* directDraw = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IDirectDraw7, &directDraw), S_OK);
    EXPECT_EQ(directDraw, made);
    void* other = made;
    EXPECT_EQ(unknown->QueryInterface(kOtherIid, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(static_cast<IDirectDraw7*>(directDraw)->Release(), 0u);
}
