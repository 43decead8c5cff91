// Where a console window opens: beside the window that starts it, wholly on the screen.
#include "platform/ConsolePlacement.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tw {
void PrintTo(const ScreenRect& r, std::ostream* os) {
    *os << r.width << "x" << r.height << "+" << r.x << "+" << r.y;
}
} // namespace tw

namespace {

using tw::ScreenRect;

struct PlacementCase {
    const char* name;
    ScreenRect owner;
    ScreenRect screen;
    ScreenRect expected; // for a console of 700 x 500, at least 200 high
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.name;
}

class ConsolePlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(ConsolePlacement, IsBesideTheOwnerAndOnTheScreen) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(tw::placeConsole({c.owner, c.screen}, 700, 500, 200), c.expected);
}

using R = ScreenRect;
const R bigScreen{0, 0, 1280, 1024};
const R smallScreen{0, 0, 1024, 768};

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsolePlacement,
    ::testing::Values(
        PlacementCase{"Right", {0, 0, 440, 350}, bigScreen, {448, 0, 700, 500}},
        PlacementCase{"RightMovedUp", {0, 700, 440, 300}, bigScreen, {448, 524, 700, 500}},
        PlacementCase{"Below", {100, 0, 440, 350}, {0, 0, 1024, 900}, {100, 358, 700, 500}},
        PlacementCase{"Left", {800, 0, 440, 1000}, bigScreen, {92, 0, 700, 500}},
        PlacementCase{"Above", {0, 600, 1280, 424}, bigScreen, {0, 92, 700, 500}},
        PlacementCase{"LowerBelow", {0, 0, 440, 350}, smallScreen, {0, 358, 700, 410}},
        PlacementCase{"CoveringLeast", {0, 0, 1000, 700}, smallScreen, {0, 268, 700, 500}},
        PlacementCase{
            "SecondScreen", {1300, 100, 440, 350}, {1280, 0, 1920, 1080}, {1748, 100, 700, 500}},
        PlacementCase{"UnknownOwner", {}, bigScreen, {}}),
    [](const auto& tested) { return std::string(tested.param.name); });

} // namespace
