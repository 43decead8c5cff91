#include "MessageBoxes.h"

#include <QPushButton>

#include <algorithm>
#include <vector>

namespace tw {

void MessageBoxes::show(QWidget* parent, const Message& message) {
    QMessageBox box(message.icon, message.title, message.text, QMessageBox::Ok, parent);
    box.exec();
}

int MessageBoxes::ask(QWidget* parent, const Question& question) {
    QMessageBox box(QMessageBox::Question, question.title, question.text, QMessageBox::NoButton,
                    parent);
    std::vector<QPushButton*> buttons;
    for (const QString& caption : question.buttons)
        buttons.push_back(box.addButton(caption, QMessageBox::ActionRole));
    if (buttons.empty())
        return -1;
    box.setDefaultButton(buttons.front());
    box.setEscapeButton(buttons.back());
    box.exec();
    const auto pressed = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return pressed == buttons.end() ? int(buttons.size()) - 1 : int(pressed - buttons.begin());
}

} // namespace tw
