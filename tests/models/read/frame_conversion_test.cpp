// Which rotation order the read-model conversion takes for a frame matrix:
// the orders are tried XYZ, XZY, YXZ, YZX, ZXY, ZYX and the first whose
// rebuilt rotation lies strictly within 1e-5 of every element wins; none
// winning falls back to XYZ. The matrices below sit where the earlier orders
// miss: near their gimbal lock, or off true rotations by a few millionths
// that the earlier orders' angle formulas magnify past the tolerance.
#include <string>

#include "models/core/model_system.h"
#include "models/read/read_model_conversion.h"
#include "tests/models/model_test_support.h"
#include "tests/models/read/conversion_fixture.h"

namespace tessel_test {
namespace {

using FrameConversionTest = ModelSystemTest;

struct OrderCase {
    const char* name;
    float rows[3][3];
    int order;  // as the runtime composes it: XYZ 0, XZY 1, YZX 2, YXZ 3, ZXY 4, ZYX 5
};

// clang-format off
const OrderCase kOrderCases[] = {
    {"a plain rotation takes XYZ",
     {{-0x1.a621b2p-2f, 0x1.4c9eaep-2f, 0x1.b3d116p-1f},
      {0x1.60fa34p-1f, 0x1.71ac5cp-1f, 0x1.de0a46p-5f},
      {-0x1.30f672p-1f, 0x1.38c5c8p-1f, -0x1.0b0c84p-1f}}, 0},
    {"XYZ inside its gimbal band takes XZY",
     {{0x1.46427p-9f, -0x1.15ap-11f, -0x1.ffff94p-1f},
      {0x1.c49fdp-1f, 0x1.dea412p-2f, 0x1.fff71p-10f},
      {0x1.dea366p-2f, -0x1.c4a014p-1f, 0x1.abb786p-10f}}, 1},
    {"XYZ and XZY missing take YXZ",
     {{-0x1.29e6b6p-2f, -0x1.607982p-1f, -0x1.542d7p-1f},
      {0x1.30a2bcp-4f, -0x1.6ad08ap-1f, 0x1.6740b4p-1f},
      {-0x1.e85fb6p-1f, 0x1.3cd438p-3f, 0x1.07853cp-2f}}, 3},
    {"three missing take YZX",
     {{-0x1.25da8p-11f, 0x1.fe00e8p-1f, -0x1.69571p-4f},
      {0x1.ff3eaep-1f, -0x1.155d52p-8f, -0x1.bb69dep-5f},
      {-0x1.bcbe42p-5f, -0x1.68fc5ap-4f, -0x1.fd4p-1f}}, 2},
    {"four missing take ZXY",
     {{-0x1.6dfd2ep-7f, -0x1.13ded4p-2f, 0x1.ed0962p-1f},
      {-0x1.ffc83ep-1f, 0x1.da661p-6f, -0x1.cba4fap-9f},
      {-0x1.b9610ap-6f, -0x1.ecd8dp-1f, -0x1.14159cp-2f}}, 4},
    {"five missing take ZYX",
     {{0x1.6d6eeap-11f, -0x1.fde7ecp-1f, -0x1.7217a6p-4f},
      {0x1.206974p-3f, -0x1.6df2dap-4f, 0x1.f8d45p-1f},
      {-0x1.fae5d2p-1f, -0x1.b76d0cp-7f, 0x1.1f18d8p-3f}}, 5},
    {"no order rebuilding a sheared matrix falls back to XYZ",
     {{-0x1.1fa046p-7f, -0x1.60a6d2p-8f, -0x1.fff90ep-1f},
      {-0x1.fecd1ep-1f, 0x1.078b0cp-5f, 0x1.2ae6fcp-7f},
      {-0x1.155adep-4f, 0x1.fed1acp-1f, -0x1.38e704p-8f}}, 0},
};
// clang-format on

TEST_F(FrameConversionTest, TheFirstOrderThatRebuildsTheRotationIsTaken) {
    for (const OrderCase& c : kOrderCases) {
        ConversionModel m;
        tessel::ReadModelFrame* frame = tessel::ReadModelNewFrame(&m.model, "f", nullptr);
        tessel::MatIdentity(&frame->transform);
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k) {
                frame->transform.m[r][k] = c.rows[r][k];
            }
        }
        const int handle = tessel::ConvertReadModel(&m.model, nullptr, nullptr);
        ASSERT_NE(handle, -1) << c.name;
        const tessel::ModelFrame& f = tessel::GetModelBase(handle)->frames[0];
        EXPECT_EQ(f.rotationOrder, c.order) << c.name;
        if (std::string(c.name).find("sheared") == std::string::npos) {
            // Rows of unit length to within the dead band: no scale.
            EXPECT_EQ(f.scale.x, 1.0f) << c.name;
            EXPECT_EQ(f.scale.z, 1.0f) << c.name;
            // The winning order's angles compose back into the file's matrix.
            for (int r = 0; r < 3; ++r) {
                for (int k = 0; k < 3; ++k) {
                    EXPECT_NEAR(f.local.m[r][k], c.rows[k][r], 2e-5f) << c.name << " " << r << k;
                }
            }
        }
        tessel::ReleaseModelBase(handle);
    }
}

}  // namespace
}  // namespace tessel_test
