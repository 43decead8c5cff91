#include "MessageBoxes.h"

namespace tw {

void MessageBoxes::show(QWidget* parent, const Message& message) {
    QMessageBox box(message.icon, message.title, message.text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace tw
