// Refusal reasons of the Direct3D 9 device: the table, the trace, and a check after every test
// of this program that each refusal it provoked was asserted by name.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "d3d9_fixture.h"

namespace {

using d3d9test::DeviceTest;
using platform::D3D9Refusal;

// Counts the refusals of each test against those its EXPECT_REFUSED asserted.
class RefusalAudit : public ::testing::EmptyTestEventListener {
  public:
    void OnTestStart(const ::testing::TestInfo&) override {
        refusals_ = platform::D3D9RefusalCount();
        asserted_ = d3d9test::AssertedRefusals();
    }
    void OnTestEnd(const ::testing::TestInfo& test) override {
        uint64_t refused = platform::D3D9RefusalCount() - refusals_;
        uint64_t asserted = d3d9test::AssertedRefusals() - asserted_;
        if (refused != asserted) {
            platform::D3D9Rejection last = platform::LastD3D9Rejection();
            offenders.push_back(std::string(test.test_suite_name()) + "." + test.name() + ": " +
                                std::to_string(refused) + " refused, " + std::to_string(asserted) +
                                " asserted; last " + last.method + " for " +
                                platform::D3D9RefusalName(last.reason));
        }
    }
    std::vector<std::string> offenders;

  private:
    uint64_t refusals_ = 0;
    uint64_t asserted_ = 0;
};

RefusalAudit* g_audit = nullptr;

// Installs the audit before the first test and reports it after the last one.
class RefusalAuditEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        g_audit = new RefusalAudit();
        ::testing::UnitTest::GetInstance()->listeners().Append(g_audit);
    }
    void TearDown() override {
        for (const std::string& offender : g_audit->offenders) {
            ADD_FAILURE() << "a Direct3D 9 refusal nobody asserted by name: " << offender;
        }
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new RefusalAuditEnvironment());

TEST(D3D9Refusals, EveryReasonHasItsOwnNameATextAndAFailingResult) {
    std::set<std::string> names;
    for (int i = 1; i < static_cast<int>(D3D9Refusal::Count); ++i) {
        D3D9Refusal reason = static_cast<D3D9Refusal>(i);
        std::string name = platform::D3D9RefusalName(reason);
        SCOPED_TRACE(name);
        EXPECT_TRUE(names.insert(name).second) << "named twice";
        EXPECT_NE(name, "None");
        EXPECT_GT(std::string(platform::D3D9RefusalText(reason)).size(), 8u);
        EXPECT_TRUE(FAILED(platform::D3D9RefusalResult(reason)));
    }
    EXPECT_STREQ(platform::D3D9RefusalName(D3D9Refusal::None), "None");
}

TEST_F(DeviceTest, TheTraceKeepsTheReasonWithTheRefusedCall) {
    platform::SetD3D9TraceRecording(true);
    EXPECT_REFUSED(SceneAlreadyBegun, (device_->BeginScene(), device_->BeginScene()));
    EXPECT_REFUSED(UnknownState, device_->SetRenderState(300, 1));
    ASSERT_EQ(device_->EndScene(), D3D_OK);
    std::vector<platform::D3D9TraceEntry> trace = platform::D3D9Trace();
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[0].refusal, D3D9Refusal::None);
    EXPECT_EQ(trace[1].method, "BeginScene");
    EXPECT_EQ(trace[1].refusal, D3D9Refusal::SceneAlreadyBegun);
    EXPECT_EQ(trace[2].method, "SetRenderState");
    EXPECT_EQ(trace[2].refusal, D3D9Refusal::UnknownState);
    EXPECT_EQ(trace[3].refusal, D3D9Refusal::None);
    platform::D3D9Rejection last = platform::LastD3D9Rejection();
    EXPECT_EQ(last.method, "SetRenderState");
    EXPECT_EQ(last.reason, D3D9Refusal::UnknownState);

    // A read-back is not traced: its refusal names its method but marks no entry.
    D3DVIEWPORT9* none = nullptr;
    EXPECT_REFUSED(NullArgument, device_->GetViewport(none));
    EXPECT_EQ(platform::LastD3D9Rejection().method, "GetViewport");
    EXPECT_EQ(platform::D3D9Trace().back().refusal, D3D9Refusal::None);
}

}  // namespace
