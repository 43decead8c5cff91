#include "Form1.h"

namespace tw {

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Vandrel Tonwright 1.10"));
}

} // namespace tw
