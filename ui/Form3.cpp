#include "Form3.h"

#include "Application.h"
#include "Twips.h"
#include "platform/Platform.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace tw {

namespace {

QLabel* makeLabel(QWidget* container, const QString& text, int left, int top, int width,
                  int height) {
    auto* label = new QLabel(text, container);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTwips(label, left, top, width, height);
    return label;
}

} // namespace

Form3::Form3(Platform& platform) : FixedDialog(4110, 3075), m_platform(platform) {
    setWindowTitle(QStringLiteral("About"));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    // Dark text on the fixed grey, whatever the desktop's palette: light text would vanish. The
    // application's style sheet decides label colours, so this says it in the same way.
    setStyleSheet(QStringLiteral("QLabel { color: black; }"));
    setAutoFillBackground(true);

    const QString mail = QString::fromWCharArray(MailAddress);
    const QString web = QString::fromWCharArray(WebAddress);

    Frame1 = new QGroupBox(this);
    placeTwips(Frame1, 0, 0, 4095, 1455);
    Picture1 = new QLabel(Frame1);
    Picture1->setPixmap(applicationIcon().pixmap(32, 32));
    Picture1->setFocusPolicy(Qt::StrongFocus);
    placeTwips(Picture1, 240, 360, 480, 480);
    Label1 = makeLabel(Frame1, QStringLiteral("Tonwright 1.10"), 1080, 240, 2535, 255);
    Label2 = makeLabel(Frame1, QStringLiteral("Written by Jorun Valdemeer"), 1080, 480, 2535, 255);
    Label3 =
        makeLabel(Frame1, QStringLiteral("Copyright \u00A9 2026 Vandrel"), 1080, 840, 2895, 255);
    Label4 = makeLabel(Frame1, QStringLiteral("All rights reserved."), 1080, 1080, 2895, 255);

    Command1 = addButton(this, QStringLiteral("eMail"), 120, 1560, 615, 255);
    Label5 = makeLabel(this, QStringLiteral("E-mail the author: ") + mail, 840, 1560, 3375, 255);
    Command2 = addButton(this, QStringLiteral("www"), 120, 1920, 615, 255);
    Label6 = makeLabel(this, QStringLiteral("Visit Vandrel's home page for updates:\n") + web, 840,
                       1920, 3255, 495);

    Frame2 = new QGroupBox(this);
    placeTwips(Frame2, 0, 2400, 4095, 615);
    Command3 = addButton(Frame2, QStringLiteral("Cool!"), 3000, 240, 975, 255);

    setKeyboardOrder({Command1, Command2, Command3, Picture1});

    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
}

void Form3::Command1_Click() {
    // No mail program is the desktop's business: the box shows nothing and stays open.
    static_cast<void>(m_platform.openAddress(std::wstring(L"mailto:") + MailAddress,
                                             static_cast<std::uintptr_t>(winId())));
}

void Form3::Command2_Click() {
    static_cast<void>(m_platform.openAddress(WebAddress, static_cast<std::uintptr_t>(winId())));
}

void Form3::Command3_Click() {
    close();
}

} // namespace tw
