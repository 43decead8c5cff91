#pragma once

#include "FixedDialog.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace tw {

class Platform;

// The About box: name, version and credits, and two buttons that hand the author's mail
// address and the maker's home page to the user's own programs.
class Form3 : public FixedDialog {
    Q_OBJECT
public:
    static constexpr const wchar_t* MailAddress = L"jorun@vandrel.example";
    static constexpr const wchar_t* WebAddress = L"http://www.vandrel.example/";

    explicit Form3(Platform& platform);

    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QLabel* Picture1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QPushButton* Command1; // "eMail"
    QPushButton* Command2; // "www"
    QPushButton* Command3; // "Cool!"

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    Platform& m_platform;
};

} // namespace tw
