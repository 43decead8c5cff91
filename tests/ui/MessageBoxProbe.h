#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <ostream>

namespace tw::test {

// What a modal message box showed, as seen from inside its exec().
struct BoxSeen {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QAbstractButton*>::size_type buttonCount = 0;
    bool hasOk = false;

    bool operator==(const BoxSeen&) const = default;
};

// What a message box with a single OK button shows.
inline BoxSeen okBox(const QString& title, const QString& text, QMessageBox::Icon icon) {
    return {true, title, text, icon, 1, true};
}

inline void PrintTo(const BoxSeen& seen, std::ostream* os) {
    if (!seen.shown) {
        *os << "no box";
        return;
    }
    *os << "box \"" << seen.title.toStdString() << "\": \"" << seen.text.toStdString()
        << "\", icon " << seen.icon << ", " << seen.buttonCount << " button(s)"
        << (seen.hasOk ? " with OK" : " without OK");
}

// Runs `action`; when it opens a modal message box, records it and presses its OK button
// (any other modal window is closed, so a wrong box cannot hang the test).
inline BoxSeen runAndAnswerBox(const std::function<void()>& action) {
    BoxSeen seen;
    QObject context;
    QTimer::singleShot(0, &context, [&seen] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            if (modal)
                modal->close();
            return;
        }
        seen.shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttonCount = box->buttons().size();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        seen.hasOk = ok != nullptr;
        if (ok)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            box->close();
    });
    action();
    return seen;
}

} // namespace tw::test
