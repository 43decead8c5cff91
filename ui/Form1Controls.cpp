#include "Form1Controls.h"

#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "Form1.h"
#include "Twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

namespace tw {

namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void createFileSelector(Form1& form, Platform& platform, QWidget* client) {
    form.Frame1 = named(new QGroupBox(QStringLiteral("File selector"), client), "Frame1");
    placeTwips(form.Frame1, 0, 0, 6255, 2775);
    form.Drive1 = named(new DriveList(platform, form.Frame1), "Drive1");
    placeTwips(form.Drive1, 120, 240, 2655, 315);
    form.Dir1 = named(new DirList(platform, form.Frame1), "Dir1");
    placeTwips(form.Dir1, 120, 600, 2655, 2115);
    form.File1 = named(new FileList(platform, form.Frame1), "File1");
    placeTwips(form.File1, 2760, 240, 3375, 2430);
    form.File1->setPattern(QStringLiteral("*.mp3"));
    if (form.File1->path() != form.Dir1->path())
        (void)form.File1->setPath(form.Dir1->path());
}

void createOptions(Form1& form, QWidget* client) {
    form.Frame3 = named(new QGroupBox(QStringLiteral("Options"), client), "Frame3");
    placeTwips(form.Frame3, 0, 2760, 3615, 975);
    form.Check2 =
        named(new QCheckBox(QStringLiteral("Ignore all error messages"), form.Frame3), "Check2");
    placeTwips(form.Check2, 120, 600, 2295, 255);
    form.Check1 = named(
        new QCheckBox(QStringLiteral("Search again after loss of synchronization"), form.Frame3),
        "Check1");
    placeTwips(form.Check1, 120, 240, 3375, 255);
}

void createOutputFormat(Form1& form, QWidget* client) {
    form.Frame2 = named(new QGroupBox(QStringLiteral("Output format"), client), "Frame2");
    placeTwips(form.Frame2, 3720, 2760, 2535, 975);
    form.Option4 = named(new QRadioButton(QStringLiteral("AIFC"), form.Frame2), "Option4");
    placeTwips(form.Option4, 1560, 600, 855, 255);
    form.Option3 = named(new QRadioButton(QStringLiteral("AIFF"), form.Frame2), "Option3");
    placeTwips(form.Option3, 1560, 240, 855, 255);
    form.Option2 = named(new QRadioButton(QStringLiteral("SND"), form.Frame2), "Option2");
    placeTwips(form.Option2, 120, 600, 855, 255);
    form.Option1 = named(new QRadioButton(QStringLiteral("WAV (default)"), form.Frame2), "Option1");
    placeTwips(form.Option1, 120, 240, 1455, 255);
    form.Option1->setChecked(true);
}

void createDestinationAndDecode(Form1& form, QWidget* client) {
    form.Frame4 = named(new QGroupBox(client), "Frame4");
    placeTwips(form.Frame4, 0, 3720, 4935, 615);
    form.Command2 = named(new QPushButton(QStringLiteral("Destination"), form.Frame4), "Command2");
    placeTwips(form.Command2, 120, 240, 1215, 255);
    // Enter on this button presses it, as on any focused button.
    form.Command2->setAutoDefault(true);
    form.Label1 = named(new QLabel(form.Frame4), "Label1");
    placeTwips(form.Label1, 1440, 240, 3375, 255);
    form.Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    form.Frame5 = named(new QGroupBox(client), "Frame5");
    placeTwips(form.Frame5, 5040, 3720, 1215, 615);
    form.Command1 = named(new QPushButton(QStringLiteral("Decode"), form.Frame5), "Command1");
    placeTwips(form.Command1, 120, 240, 975, 255);
    QFont bold = form.Command1->font();
    bold.setWeight(QFont::Bold);
    form.Command1->setFont(bold);
    form.Command1->setDefault(true);
}

} // namespace

void createControls(Form1& form, Platform& platform) {
    auto* client = new QWidget(&form);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(6255), twips(4410));
    form.setCentralWidget(client);
    createFileSelector(form, platform, client);
    createOptions(form, client);
    createOutputFormat(form, client);
    createDestinationAndDecode(form, client);

    const QList<QWidget*> order{form.File1,   form.Dir1,     form.Drive1,  form.Option1,
                                form.Option2, form.Option3,  form.Option4, form.Check1,
                                form.Check2,  form.Command2, form.Command1};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));

    QObject::connect(form.Drive1, &DriveList::changed, &form, &Form1::Drive1_Change);
    QObject::connect(form.Dir1, &DirList::changed, &form, &Form1::Dir1_Change);
    QObject::connect(form.Command1, &QPushButton::clicked, &form, &Form1::Command1_Click);
    QObject::connect(form.Command2, &QPushButton::clicked, &form, &Form1::Command2_Click);
}

void createMenus(Form1& form) {
    QMenuBar* bar = form.menuBar();
    form.FileMenu = named(bar->addMenu(QStringLiteral("&File")), "FileMenu");
    form.DecodeNow = named(form.FileMenu->addAction(QStringLiteral("&Decode")), "DecodeNow");
    form.Dash1 = named(form.FileMenu->addSeparator(), "Dash1");
    form.Exit = named(form.FileMenu->addAction(QStringLiteral("E&xit")), "Exit");
    form.OptionsMenu = named(bar->addMenu(QStringLiteral("&Options")), "OptionsMenu");
    form.Setup = named(form.OptionsMenu->addAction(QStringLiteral("&Setup")), "Setup");
    form.Dash2 = named(form.OptionsMenu->addSeparator(), "Dash2");
    form.DestinationSelect =
        named(form.OptionsMenu->addAction(QStringLiteral("&Destination")), "DestinationSelect");
    form.HelpMenu = named(bar->addMenu(QStringLiteral("&Help")), "HelpMenu");
    form.About = named(form.HelpMenu->addAction(QStringLiteral("&About")), "About");

    QObject::connect(form.DecodeNow, &QAction::triggered, &form, &Form1::DecodeNow_Click);
    QObject::connect(form.Exit, &QAction::triggered, &form, &Form1::Exit_Click);
    QObject::connect(form.Setup, &QAction::triggered, &form, &Form1::Setup_Click);
    QObject::connect(form.DestinationSelect, &QAction::triggered, &form,
                     &Form1::DestinationSelect_Click);
    QObject::connect(form.About, &QAction::triggered, &form, &Form1::About_Click);
}

} // namespace tw
