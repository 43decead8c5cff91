#include "ConsolePlacement.h"

#include <algorithm>
#include <array>

namespace tw {

namespace {

// Room left between the two windows.
constexpr int gap = 8;

int overlap(const ScreenRect& a, const ScreenRect& b) {
    const int w = std::min(a.right(), b.right()) - std::max(a.x, b.x);
    const int h = std::min(a.bottom(), b.bottom()) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

} // namespace

ScreenRect placeConsole(const ConsolePlacement& placement, int width, int height, int minHeight) {
    const ScreenRect& owner = placement.owner;
    const ScreenRect& screen = placement.screen;
    if (owner.isEmpty() || screen.isEmpty() || width <= 0 || height <= 0)
        return {};
    width = std::min(width, screen.width);
    height = std::min(height, screen.height);
    const auto across = [&](int x) { return std::clamp(x, screen.x, screen.right() - width); };
    const auto down = [&](int y, int h) { return std::clamp(y, screen.y, screen.bottom() - h); };

    // Each side with the height it leaves: beside the owner the whole screen's, above or below
    // what is free there.
    const int belowTop = owner.bottom() + gap;
    const int aboveBottom = owner.y - gap;
    const std::array<ScreenRect, 4> sides{
        ScreenRect{owner.right() + gap, down(owner.y, height), width, height},
        ScreenRect{across(owner.x), belowTop, width, std::min(height, screen.bottom() - belowTop)},
        ScreenRect{owner.x - gap - width, down(owner.y, height), width, height},
        ScreenRect{across(owner.x), std::max(screen.y, aboveBottom - height), width,
                   std::min(height, aboveBottom - screen.y)},
    };
    const auto fits = [&](const ScreenRect& r) {
        return r.x >= screen.x && r.right() <= screen.right() && r.height >= minHeight &&
               r.y >= screen.y && r.bottom() <= screen.bottom();
    };
    const ScreenRect* best = nullptr;
    for (const ScreenRect& side : sides) {
        if (fits(side) && side.height == height)
            return side;
        if (fits(side) && (!best || side.height > best->height))
            best = &side;
    }
    if (best)
        return *best;

    // Nowhere beside it: the whole console on the screen, covering as little as can be.
    ScreenRect least;
    int covered = -1;
    for (const ScreenRect& side : sides) {
        const ScreenRect whole{across(side.x), down(side.y, height), width, height};
        if (const int c = overlap(whole, owner); covered < 0 || c < covered) {
            least = whole;
            covered = c;
        }
    }
    return least;
}

} // namespace tw
