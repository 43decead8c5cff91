#pragma once

#include <QDialog>

namespace tw {

// A modal dialog of fixed size with no default or cancel button: Enter presses the button
// that has the focus, and Escape does nothing. The dialogs are shown without an owner.
class FixedDialog : public QDialog {
    Q_OBJECT
public:
    // The client area in twips.
    FixedDialog(int clientWidthTwips, int clientHeightTwips);

    // Shows the dialog centred over `over` (when given) and waits until it has closed.
    void showModal(const QWidget* over);

protected:
    // Call once every button exists: Qt makes dialog buttons "auto default" otherwise.
    void dropDefaultButtons();
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tw
