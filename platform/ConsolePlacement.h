#pragma once

namespace tw {

// A rectangle of the desktop, in pixels.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    int right() const { return x + width; } // the first column past it
    int bottom() const { return y + height; }
    bool operator==(const ScreenRect&) const = default;
};

// Where the window that starts a console stands, so that a console in a normal window opens
// beside it rather than under it, where the user can watch it. Empty when unknown (the desktop
// then places the console).
struct ConsolePlacement {
    ScreenRect owner;  // the starting window's frame
    ScreenRect screen; // the part of its screen that windows may use
};

// The frame for a console window of `width` x `height`: right of, below, left of or above the
// owner, the first where it fits whole; else the one of those that leaves it the most height, at
// least `minHeight`; else its whole size on the screen where it covers the least of the owner.
// Always wholly on the screen; empty when the placement is unknown.
ScreenRect placeConsole(const ConsolePlacement& placement, int width, int height, int minHeight);

} // namespace tw
