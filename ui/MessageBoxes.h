#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace tw {

// A message to the user, answered with the one button "OK".
struct Message {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
};

// Shows the main window's messages. The window holds one of these, so that whatever it has to
// say can be seen without a modal loop where a test stands in for the user.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box over `parent`, until the user answers it.
    virtual void show(QWidget* parent, const Message& message);
};

} // namespace tw
