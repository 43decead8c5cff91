#pragma once

#include "ui/Form1.h"
#include "ui/MessageBoxes.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

namespace tw::test {

// What a message showed: its title, text and icon; one OK button is all a message has.
struct BoxSeen {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

    bool operator==(const BoxSeen&) const = default;
};

inline BoxSeen okBox(const QString& title, const QString& text, QMessageBox::Icon icon) {
    return {true, title, text, icon};
}

inline void PrintTo(const BoxSeen& seen, std::ostream* os) {
    if (!seen.shown) {
        *os << "no box";
        return;
    }
    *os << "box \"" << seen.title.toStdString() << "\": \"" << seen.text.toStdString()
        << "\", icon " << seen.icon;
}

// Stands in for the user answering the main window's messages: each is recorded and answered
// at once.
class RecordingBoxes : public MessageBoxes {
public:
    void show(QWidget*, const Message& message) override { shown.push_back(message); }
    // Questions are answered with the button `answer`.
    int ask(QWidget*, const Question& question) override {
        asked.push_back(question);
        return answer;
    }
    std::vector<Message> shown;
    std::vector<Question> asked;
    int answer = 0;
};

// Runs `action` on `form` and gives the one message it showed (or none); a second message
// fails the test, since every path through the window says at most one thing.
inline BoxSeen runAndAnswerBox(Form1& form, const std::function<void()>& action) {
    RecordingBoxes boxes;
    form.setMessageBoxes(&boxes);
    action();
    form.setMessageBoxes(nullptr);
    EXPECT_LE(boxes.shown.size(), 1u) << "more than one message";
    if (boxes.shown.empty())
        return {};
    const Message& m = boxes.shown.front();
    return {true, m.title, m.text, m.icon};
}

} // namespace tw::test
