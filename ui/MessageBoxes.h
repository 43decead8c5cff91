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

// A question with buttons of its own; the first is the default.
struct Question {
    QString title;
    QString text;
    QStringList buttons;
};

// Shows the main window's messages. The window holds one of these, so that whatever it has to
// say can be seen without a modal loop where a test stands in for the user.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box over `parent`, until the user answers it.
    virtual void show(QWidget* parent, const Message& message);
    // A modal question over `parent`: the index of the button pressed; Escape and the close
    // button press the last one.
    virtual int ask(QWidget* parent, const Question& question);
};

} // namespace tw
