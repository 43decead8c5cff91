#include "FixedDialog.h"

#include "Twips.h"

#include <QKeyEvent>
#include <QPushButton>

// The dialogs' icons live in this static library, whose resources must be registered by hand,
// from the global namespace, or the linker drops them.
static void registerDialogResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(setup);
        Q_INIT_RESOURCE(dialogs);
        return true;
    }();
    static_cast<void>(registered);
}

namespace tw {

FixedDialog::FixedDialog(int clientWidthTwips, int clientHeightTwips) : QDialog(nullptr) {
    registerDialogResources();
    // Fixed dialog border: a title and a close box, no minimize, maximize or help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(clientWidthTwips), twips(clientHeightTwips));
    setModal(true);
}

void FixedDialog::showModal(const QWidget* over) {
    if (over && over->isVisible())
        move(over->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    exec();
}

QPushButton* FixedDialog::addButton(QWidget* container, const QString& caption, int left, int top,
                                    int width, int height) {
    auto* button = new QPushButton(caption, container);
    button->setAutoDefault(false);
    button->setDefault(false);
    placeTwips(button, left, top, width, height);
    return button;
}

void FixedDialog::setKeyboardOrder(std::initializer_list<QWidget*> controls) {
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
    if (controls.size() > 0)
        (*controls.begin())->setFocus();
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Only a focused push button answers Enter; an option button or list that passes it on
        // reaches no default button either.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace tw
