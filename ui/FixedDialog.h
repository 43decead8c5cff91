#pragma once

#include <QDialog>

#include <initializer_list>

class QPushButton;

namespace tw {

// A modal dialog of fixed size with no default or cancel button: Enter presses the push button
// that has the focus, and Escape does nothing. The dialogs are shown without an owner.
class FixedDialog : public QDialog {
    Q_OBJECT
public:
    // The client area in twips.
    FixedDialog(int clientWidthTwips, int clientHeightTwips);

    // Shows the dialog centred over `over` (when given) and waits until it has closed.
    void showModal(const QWidget* over);

protected:
    // A push button placed in twips that is never a default button, not even while focused:
    // Qt makes dialog buttons "auto default" otherwise, and Enter is the dialog's business.
    static QPushButton* addButton(QWidget* container, const QString& caption, int left, int top,
                                  int width, int height);
    // Chains the keyboard order through `controls` and gives the first one the focus.
    void setKeyboardOrder(std::initializer_list<QWidget*> controls);
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tw
