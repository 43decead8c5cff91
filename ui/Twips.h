#pragma once

#include <QRect>
#include <QWidget>

namespace tw {

// Layouts are given in twips: 1/1440 inch, 15 twips to a pixel at 96 dots per inch.
constexpr int TwipsPerPixel = 15;

constexpr int twips(int value) {
    return (value >= 0 ? value + TwipsPerPixel / 2 : value - TwipsPerPixel / 2) / TwipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Places a control in its container's client area, given in twips.
inline void placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height));
}

} // namespace tw
