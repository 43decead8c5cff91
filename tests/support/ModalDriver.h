#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

namespace tw::test {

// Runs `open`, which shows a `Dialog` modally; once it is up, `act` drives it. Whatever modal
// window is still open afterwards is closed, so a failed check cannot leave the test waiting.
// True when the dialog was shown.
template <typename Dialog>
bool whileModal(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
    bool seen = false;
    QObject context;
    QTimer::singleShot(0, &context, [&] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            seen = true;
            act(*dialog);
        }
        if (QWidget* still = QApplication::activeModalWidget()) {
            if (auto* asDialog = qobject_cast<QDialog*>(still))
                asDialog->reject();
            else
                still->close();
        }
    });
    open();
    return seen;
}

} // namespace tw::test
