#include "FixedDialog.h"

#include "Twips.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPushButton>

namespace tw {

FixedDialog::FixedDialog(int clientWidthTwips, int clientHeightTwips) : QDialog(nullptr) {
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

void FixedDialog::dropDefaultButtons() {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Only a focused button answers Enter; no other control passes it on to a default.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
            button && button->isEnabled())
            button->click();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace tw
