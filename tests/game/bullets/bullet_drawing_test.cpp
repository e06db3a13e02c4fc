// The bullet layer's drawing calls, recorded, for one bullet of each look and state.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "game/bullets/bullet_fixture.h"
#include "game/bullets/bullet_manager.h"
#include "game/draw/library_draw_calls.h"
#include "game/math/angles.h"

namespace {

std::vector<std::string> g_calls;

std::string Format(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The expected calls, formatted as the recorder formats the real ones.
std::string Only(int mode) {
    return Format("only %d", mode);
}
std::string Blend(int mode, int parameter) {
    return Format("blend %d %d", mode, parameter);
}
std::string Colour(int r, int g, int b, int a) {
    unsigned word = r | g << 8 | b << 16 | static_cast<unsigned>(a) << 24;
    unsigned packed = b | g << 8 | r << 16 | static_cast<unsigned>(a) << 24;
    return Format("colour %08x %08x", word, packed);
}
std::string White(int a) {
    return Colour(255, 255, 255, a);
}
std::string Alt(double x, double y, double scale, double angle, int image) {
    return Format("alt %.9g %.9g %.17g %.17g %d", static_cast<float>(x), static_cast<float>(y),
                  scale, angle, image);
}
std::string Rot(double x, double y, double scale, double angle, int image) {
    return Format("rot %.9g %.9g %.17g %.17g %d 1 0", static_cast<float>(x), static_cast<float>(y),
                  scale, angle, image);
}

const LibraryDrawCalls kRecorder = {
    [](int32_t mode, int32_t parameter) { g_calls.push_back(Blend(mode, parameter)); },
    [](int32_t mode) { g_calls.push_back(Only(mode)); },
    [](uint32_t word, uint32_t packed) {
        g_calls.push_back(Format("colour %08x %08x", word, packed));
    },
    [](float x, float y, double scale, double angle, int32_t image, int32_t transparent,
       int32_t mirror) {
        g_calls.push_back(Format("rot %.9g %.9g %.17g %.17g %d %d %d", x, y, scale, angle, image,
                                 transparent, mirror));
    },
    [](float x, float y, double scale, double angle, int32_t image) {
        g_calls.push_back(Format("alt %.9g %.9g %.17g %.17g %d", x, y, scale, angle, image));
    },
};

int CellOf(int row, int cell) {
    return 1000 + row * 100 + cell;
}

class BulletDrawingTest : public testing::Test {
  protected:
    void SetUp() override {
        g_calls.clear();
        BindLibraryDrawCalls(&kRecorder);
    }
    void TearDown() override { BindLibraryDrawCalls(nullptr); }

    // One bullet of `kind` at (100, 200) heading 30 degrees at rest, after
    // `updates` updates; the calls of one layer draw.
    Bullet* Make(BulletRequest shot, int updates) {
        QueueBulletSpawn(manager.get(), shot);
        for (int i = 0; i < updates; ++i) {
            UpdateBulletManager(manager.get());
        }
        return manager->order[0];
    }
    std::vector<std::string> Draw() {
        g_calls.clear();
        DrawBulletLayer(manager.get());
        return g_calls;
    }
    // What every layer draw starts and ends with, around the bullet's own calls.
    static std::vector<std::string> Layer(std::vector<std::string> middle) {
        std::vector<std::string> calls{Only(2)};
        calls.insert(calls.end(), middle.begin(), middle.end());
        calls.push_back(Blend(1, 255));
        calls.push_back(White(255));
        return calls;
    }

    std::unique_ptr<BulletManager> manager = MakeTestBulletManager();
};

BulletRequest Still(int32_t kind) {
    return MakeShot(kind, 100.0, 200.0, 0.0, 30.0);
}

double Glow(double phaseTime, double scale) {
    return (std::cos(phaseTime * 2.5) * 0.20000000298023224 + 0.800000011920929) * 0.25 + scale;
}

double CorePulse(double phaseTime) {
    return std::cos(phaseTime * 2.5) * 0.10000000149011612 + 0.8999999761581421;
}

TEST_F(BulletDrawingTest, NothingIsDrawnWhileNoCallsAreBound) {
    Make(Still(kPlainKind), 1);
    BindLibraryDrawCalls(nullptr);
    DrawBulletLayer(manager.get());
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(BulletDrawingTest, APlainBulletGlowsThenDrawsItsPictureAndItsWhiteCore) {
    Bullet* b = Make(Still(kPlainKind), 1);
    ASSERT_EQ(b->state, kStateNormal);
    EXPECT_EQ(Draw(), Layer({
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, Glow(0.08, 1.0), 0.0, CellOf(5, 1)),
                          Only(1),
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, 1.0, 0.0, CellOf(5, 0)),
                          White(255),
                          Alt(164, 216, 1.0, 0.0, CellOf(5, 2)),
                      }));
}

TEST_F(BulletDrawingTest, ATurnedBulletFacesItsDirectionAndAnAdditiveOneBlendsSo) {
    BulletRequest shot = Still(kTurnedKind);
    shot.blendAdd = 1;
    shot.scale = 1.5;
    Bullet* b = Make(shot, 2);  // its first update is spent appearing
    ASSERT_EQ(b->state, kStateNormal);
    double turn = (450.0 - 30.0) * 0.01745329238474369;
    EXPECT_EQ(Draw(), Layer({
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, Glow(0.08, 1.5), turn, CellOf(6, 1)),
                          Only(2),
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, 1.5, turn, CellOf(6, 0)),
                          White(255),
                          Alt(164, 216, 1.5, turn, CellOf(6, 2)),
                      }));
}

TEST_F(BulletDrawingTest, ASpinningBulletTurnsByItsPhaseTimeAndItsCorePulses) {
    BulletRequest shot = Still(kSpinningKind);
    Bullet* b = Make(shot, 4);  // one appearing update, then three normal ones
    ASSERT_EQ(b->state, kStateNormal);
    double phase = b->phaseTime;
    EXPECT_EQ(phase, 0.08 + 0.08 + 0.08);
    EXPECT_EQ(Draw(), Layer({
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, Glow(phase, 1.0), phase, CellOf(7, 1)),
                          Only(1),
                          Colour(200, 100, 50, 255),
                          Alt(164, 216, 1.0, phase, CellOf(7, 0)),
                          White(255),
                          Alt(164, 216, 1.0 * CorePulse(phase), phase, CellOf(7, 2)),
                      }));
}

TEST_F(BulletDrawingTest, APulseBulletDrawsThreeRingPairsBehindItself) {
    Bullet* b = Make(Still(kPulseKind), 1);
    std::vector<std::string> rings;
    for (int i = 0; i < 3; ++i) {
        double d = b->ringSize[i] - 20 * 1.2000000476837158 * 0.125 * 1.0;
        int bodyAlpha = UnitToByte(b->ringTimer[i] * 0.03333 * b->ringAlpha[i]);
        int coreAlpha = UnitToByte(b->ringTimer[i] * 0.03 * b->ringAlpha[i]);
        rings.push_back(Only(1));
        rings.push_back(Colour(200, 100, 50, bodyAlpha));
        rings.push_back(Rot(164 + PolarX(d, 210.0), 216 + PolarY(d, 210.0), 1.0 * 1.399999976158142,
                            b->ringAngle[i], CellOf(8, 0)));
        rings.push_back(Only(2));
        rings.push_back(White(coreAlpha));
        rings.push_back(Rot(164 + PolarX(d / 2, 210.0), 216 + PolarY(d / 2, 210.0), 1.0 * 1.2,
                            b->ringAngle[i], CellOf(8, 1)));
    }
    EXPECT_EQ(Draw(), Layer(rings));
    EXPECT_EQ(b->ringTimer[1], 11);  // drawing changes nothing
}

TEST_F(BulletDrawingTest, ATimedBulletShowsTheCellOfItsAgeTurnedByItsRawAngle) {
    BulletRequest shot = Still(kTimedKind);
    shot.lifetime = 12;
    Bullet* b = Make(shot, 5);
    ASSERT_EQ(b->age, 5);
    int cell = static_cast<int>(16.0 / 12 * 5);
    EXPECT_EQ(Draw(), Layer({Only(1), White(255), Alt(164, 216, 1.0, 30.0, CellOf(9, cell))}));
}

TEST_F(BulletDrawingTest, ATrailEmitterDrawsNothingItself) {
    Make(Still(kTrailKind), 1);
    EXPECT_EQ(Draw(), Layer({}));
}

TEST_F(BulletDrawingTest, AVanishingBulletFadesAdditivelyWithItsGlowGrowing) {
    Bullet* b = Make(Still(kPlainKind), 1);
    b->state = kStateVanishing;
    UpdateBulletManager(manager.get());
    UpdateBulletManager(manager.get());
    double alpha = 1.0 - 2 * 0.0625;
    double grown = 1.0 + 2 * 0.0625;
    double shrunk = 1.0 - 2 * 0.0625;
    double phase = b->phaseTime;
    int a = UnitToByte(alpha);
    double x = 164 + PolarX(0.0, 30.0);
    EXPECT_EQ(Draw(), Layer({
                          Colour(200, 100, 50, a),
                          Alt(x, 216, Glow(phase, 1.0) * grown, 0.0, CellOf(5, 1)),
                          Only(2),
                          Colour(200, 100, 50, a),
                          Alt(x, 216, shrunk, 0.0, CellOf(5, 0)),
                          White(a),
                          Alt(x, 216, grown, 0.0, CellOf(5, 2)),
                      }));
}

TEST_F(BulletDrawingTest, AppearingBulletsDrawAColouredAndAWhitePictureByTheirAppearStyle) {
    const double turn = (450.0 - 30.0) * 0.01745329238474369;
    const struct {
        const char* name;
        int32_t kind;
        int row;
        int secondCell;
        double turn;
    } cases[] = {
        {"own cells, turned", kTurnedKind, 6, 2, turn},
        {"own cells, plain", kPlainAppearKind, 5, 1, 0.0},
        {"the common appear image", kCommonAppearKind, 0, 1, turn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager = MakeTestBulletManager();
        BulletRequest shot = Still(c.kind);
        shot.appearFrames = 10;
        Bullet* b = Make(shot, 1);
        ASSERT_EQ(b->state, kStateAppearing);
        double scale = (b->fade.fadeTarget + b->fade.fadeA + b->fade.fadeB) * 1.0;
        int a = b->colour.colour.a;
        EXPECT_EQ(Draw(), Layer({
                              Only(1),
                              Colour(200, 100, 50, a),
                              Alt(164, 216, scale, c.turn, CellOf(c.row, 0)),
                              Only(2),
                              White(a),
                              Alt(164, 216, scale, c.turn, CellOf(c.row, c.secondCell)),
                          }));
    }
}

TEST_F(BulletDrawingTest, AnUnknownAppearStyleDrawsTheFallbackPictureOnly) {
    BulletRequest shot = Still(kFallbackAppearKind);
    shot.appearFrames = 10;
    Bullet* b = Make(shot, 1);
    double scale = (b->fade.fadeTarget + b->fade.fadeA + b->fade.fadeB) * 1.0;
    EXPECT_EQ(Draw(), Layer({Only(1), Colour(200, 100, 50, b->colour.colour.a),
                             Alt(164, 216, scale, 0.0, CellOf(1, 0))}));
}

TEST_F(BulletDrawingTest, AnAppearingRingBulletDrawsItsRingsAtTheAppearScale) {
    BulletRequest shot = Still(kSpinningKind);
    shot.appearFrames = 10;
    Bullet* b = Make(shot, 1);
    double scale = (b->fade.fadeTarget + b->fade.fadeA + b->fade.fadeB) * 1.0;
    int a = b->colour.colour.a;
    std::vector<std::string> rings;
    for (int i = 0; i < 3; ++i) {
        double d = b->ringSize[i] - 24 * 1.2000000476837158 * 0.125 * 1.0;
        double x = 164 + PolarX(d, 210.0);
        double y = 216 + PolarY(d, 210.0);
        rings.push_back(Only(1));
        rings.push_back(Colour(200, 100, 50, a));
        rings.push_back(Rot(x, y, scale * 1.6, b->ringAngle[i], CellOf(7, 0)));
        rings.push_back(Only(2));
        rings.push_back(White(a));
        rings.push_back(Rot(x, y, scale * 1.2, b->ringAngle[i], CellOf(7, 1)));
    }
    EXPECT_EQ(Draw(), Layer(rings));
}

TEST_F(BulletDrawingTest, GlowsOfAllBulletsComeBeforeAnyBody) {
    Make(Still(kPlainKind), 0);
    Make(Still(kPulseKind), 1);
    std::vector<std::string> calls = Draw();
    // The pulse bullet (greater priority) has no glow; the plain one's glow
    // comes before the pulse bullet's rings.
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[1], Colour(200, 100, 50, 255));
    EXPECT_EQ(calls[2], Alt(164, 216, Glow(0.08, 1.0), 0.0, CellOf(5, 1)));
    EXPECT_EQ(calls[3], Only(1));
    EXPECT_EQ(calls[5].substr(0, 3), "rot");
}

}  // namespace
