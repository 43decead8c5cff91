#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

namespace tw {

// The application's title: it titles every message box that has no title of its own.
QString applicationTitle();

// 8 pt of the first installed family of the classic dialog fonts and their stand-ins.
QFont dialogFont();

// The program's icon, 16 x 16 and 32 x 32 (the window icon and the About box's picture).
QIcon applicationIcon();

// Sets the dialog font as the application font and makes the built-in images available.
// Call once, after the QApplication exists.
void setUpApplication();

} // namespace tw
