#pragma once

#include "platform/ConsolePlacement.h"

class QWidget;

namespace tw {

// The main window's part in a console it starts in a normal window: where the console may open,
// and the focus kept while it appears.

// The window's frame and its screen in the desktop's pixels; unknown while it is hidden, and
// where programs do not place their windows (Wayland).
ConsolePlacement consolePlacementOf(const QWidget& window);

// A console started in a normal window does not keep the focus: desktops that give every new
// window the focus get it handed back to `window`, once, while the console appears.
void keepFocusWhileTheConsoleOpens(QWidget& window);

} // namespace tw
