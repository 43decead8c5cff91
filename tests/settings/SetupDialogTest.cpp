#include "SettingsFakes.h"
#include "core/AppState.h"
#include "tests/support/CaseNames.h"
#include "tests/support/ModalDriver.h"
#include "ui/Application.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/Form2.h"
#include "ui/Twips.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using tw::Form2;
using tw::testing::SettingsMachine;

// Runs the Setup command; `user` acts on the open dialog, which is closed afterwards whatever
// happened, so a failing check cannot leave the test waiting.
void runSetup(SettingsMachine& platform, tw::AppState& state,
              const std::function<void(Form2&)>& user) {
    ASSERT_TRUE(tw::test::whileModal<Form2>([&] { tw::showSetup(platform, state); }, user))
        << "Setup did not open";
}

void clickOption(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
}

TEST(SetupDialog, LayoutCaptionsAndWindow) {
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG";
    Form2 dialog(platform, state);
    dialog.prime();

    EXPECT_EQ(dialog.windowTitle(), "Setup");
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_EQ(dialog.parentWidget(), nullptr);
    EXPECT_FALSE(dialog.windowIcon().pixmap(16, 16).isNull());

    EXPECT_EQ(dialog.Frame2->title(), "L3Dec Path");
    EXPECT_EQ(dialog.Frame3->title(), "Run L3DEC...");
    EXPECT_EQ(dialog.Frame1->title(), "");
    EXPECT_EQ(dialog.Option1->text(), "Minimized to Start Bar");
    EXPECT_EQ(dialog.Option2->text(), "Normal Window");
    EXPECT_EQ(dialog.Command1->text(), "Okay");
    EXPECT_EQ(dialog.Command2->text(), "Cancel");
    EXPECT_EQ(dialog.Label1->text(),
              "Select the directory location of the executable, L3DEC.EXE.  If your decoder "
              "program is named something else, you should rename it appropriately so this "
              "program will find it.");
    EXPECT_TRUE(dialog.Label1->wordWrap());
    EXPECT_TRUE(dialog.Label1->alignment() & Qt::AlignHCenter);
    EXPECT_EQ(dialog.Label1->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Base));
    EXPECT_EQ(dialog.Label1->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::Text));

    // The dialog's layout, in twips.
    EXPECT_EQ(dialog.size(), QSize(tw::twips(4695), tw::twips(3780)));
    using tw::twipsRect;
    const std::pair<QWidget*, QRect> places[] = {{dialog.Frame2, twipsRect(0, 0, 4695, 2535)},
                                                 {dialog.Dir1, twipsRect(120, 600, 2775, 1890)},
                                                 {dialog.Drive1, twipsRect(120, 240, 2775, 315)},
                                                 {dialog.Label1, twipsRect(3000, 240, 1575, 2175)},
                                                 {dialog.Frame3, twipsRect(0, 2520, 4695, 615)},
                                                 {dialog.Option2, twipsRect(2400, 240, 2175, 255)},
                                                 {dialog.Option1, twipsRect(120, 240, 2295, 255)},
                                                 {dialog.Frame1, twipsRect(0, 3120, 4695, 615)},
                                                 {dialog.Command2, twipsRect(3600, 240, 975, 255)},
                                                 {dialog.Command1, twipsRect(2880, 240, 735, 255)}};
    for (const auto& [widget, rect] : places)
        EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
    EXPECT_EQ(dialog.Dir1->parentWidget(), dialog.Frame2);
    EXPECT_EQ(dialog.Option1->parentWidget(), dialog.Option2->parentWidget());
    EXPECT_EQ(dialog.Command1->parentWidget(), dialog.Frame1);

    // The picture for the documentation, when asked for.
    if (const QByteArray out = qgetenv("TONWRIGHT_SETUP_SCREENSHOT"); !out.isEmpty()) {
        dialog.show();
        QApplication::processEvents();
        dialog.grab().save(QString::fromLocal8Bit(out));
        dialog.hide();
    }
}

TEST(SetupDialog, KeyboardOrderFocusAndNoDefaultButton) {
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG";
    state.LoadMode = 1;
    runSetup(platform, state, [](Form2& dialog) {
        EXPECT_EQ(dialog.focusWidget(), dialog.Command1);
        QWidget* expected[] = {dialog.Command2, dialog.Drive1, dialog.Dir1, dialog.Option1};
        QWidget* at = dialog.Command1;
        for (QWidget* next : expected) {
            do
                at = at->nextInFocusChain();
            while (!(at->focusPolicy() & Qt::TabFocus));
            EXPECT_EQ(at, next) << at->objectName().toStdString();
        }
        for (QPushButton* button : {dialog.Command1, dialog.Command2}) {
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
        }
        // Escape does nothing; Enter presses the button that has the focus.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
        // An option button is not a push button: Enter on it neither picks it nor closes.
        dialog.Option2->setChecked(true);
        dialog.Option1->setFocus();
        QTest::keyClick(dialog.Option1, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.Option2->isChecked());
        dialog.Command2->setFocus();
        QTest::keyClick(dialog.Command2, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(state.DecoderPath, L"C:\\MPEG");
    EXPECT_EQ(state.LoadMode, 1);
}

// The window-mode group is one stop of the keyboard order, at the chosen option: Tab then
// Space keeps the choice; an arrow key moves it.
TEST(SetupDialog, TabIntoTheWindowModeLandsOnTheChosenOption) {
    for (const std::int16_t loadMode : {std::int16_t{0}, std::int16_t{1}}) {
        SettingsMachine platform;
        tw::AppState state;
        state.DecoderPath = L"C:\\MPEG";
        state.LoadMode = loadMode;
        runSetup(platform, state, [loadMode](Form2& dialog) {
            QRadioButton* chosen = loadMode ? dialog.Option1 : dialog.Option2;
            QRadioButton* other = loadMode ? dialog.Option2 : dialog.Option1;
            dialog.Dir1->setFocus();
            QTest::keyClick(dialog.Dir1, Qt::Key_Tab);
            EXPECT_EQ(dialog.focusWidget(), chosen);
            QTest::keyClick(chosen, Qt::Key_Space);
            EXPECT_TRUE(chosen->isChecked());
            QTest::keyClick(chosen, loadMode ? Qt::Key_Right : Qt::Key_Left);
            EXPECT_TRUE(other->isChecked());
            EXPECT_EQ(dialog.focusWidget(), other);
            dialog.Command2->click();
        });
    }
}

struct OpeningCase {
    const char* name;
    const wchar_t* decoderPath;
    std::int16_t loadMode;
    const char* dir1;  // what the directory list shows on opening
    const char* drive; // the drive list's drive
    bool minimized;    // which choice is selected
};

void PrintTo(const OpeningCase& c, std::ostream* os) {
    *os << c.name;
}

class SetupOpeningTest : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(SetupOpeningTest, PrimesAndOkayStoresDirectoryListAndChoice) {
    const OpeningCase& c = GetParam();
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = c.decoderPath;
    state.LoadMode = c.loadMode;
    runSetup(platform, state, [&c](Form2& dialog) {
        EXPECT_EQ(dialog.Dir1->path(), c.dir1);
        EXPECT_EQ(dialog.Drive1->drive().left(2), c.drive);
        EXPECT_EQ(dialog.Option1->isChecked(), c.minimized);
        EXPECT_EQ(dialog.Option2->isChecked(), !c.minimized);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    EXPECT_EQ(QString::fromStdWString(state.DecoderPath), c.dir1);
    EXPECT_EQ(state.LoadMode, c.minimized ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    DecoderPaths, SetupOpeningTest,
    ::testing::Values(
        OpeningCase{"RootNormal", L"C:\\", 0, "C:\\", "C:", false},
        OpeningCase{"TrailingBackslashDropped", L"C:\\MPEG\\", 1, "C:\\MPEG", "C:", true},
        OpeningCase{"AnyNonZeroIsMinimized", L"C:\\MPEG", -1, "C:\\MPEG", "C:", true},
        OpeningCase{"FiveIsMinimized", L"C:\\MPEG", 5, "C:\\MPEG", "C:", true},
        OpeningCase{"OtherDrive", L"d:\\waves", 0, "D:\\WAVES", "D:", false},
        OpeningCase{"FolderGone", L"C:\\GONE", 0, "C:\\START", "C:", false},
        OpeningCase{"FolderGoneOnOtherDrive", L"D:\\GONE", 1, "C:\\START", "C:", true},
        OpeningCase{"NotADrivePath", L"MPEG", 0, "C:\\START", "C:", false},
        OpeningCase{"Empty", L"", 0, "C:\\START", "C:", false}),
    [](const ::testing::TestParamInfo<OpeningCase>& tested) {
        return std::string(tested.param.name);
    });

int rowOf(tw::DirList* list, const QString& path) {
    for (int row = 0; row < list->count(); ++row)
        if (list->rowPath(row) == path)
            return row;
    return -1;
}

TEST(SetupDialog, OkayTakesTheOpenedDirectoryNotTheHighlightedOne) {
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = L"C:\\";
    runSetup(platform, state, [](Form2& dialog) {
        tw::DirList* list = dialog.Dir1;
        // Highlight C:\MUSIC only, open C:\MPEG.
        list->setCurrentRow(rowOf(list, "C:\\MUSIC"));
        const int mpeg = rowOf(list, "C:\\MPEG");
        ASSERT_GE(mpeg, 0);
        const QPoint at = list->visualItemRect(list->item(mpeg)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(list->path(), "C:\\MPEG");
        list->setCurrentRow(rowOf(list, "C:\\MPEG\\OLD"));
        // Picking another drive moves nothing.
        dialog.Drive1->setCurrentIndex(1);
        emit dialog.Drive1->activated(1);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    EXPECT_EQ(state.DecoderPath, L"C:\\MPEG");
}

class SetupDismissTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SetupDismissTest, ChangesNothing) {
    const std::string how = GetParam();
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG\\";
    state.LoadMode = -1;
    runSetup(platform, state, [&how](Form2& dialog) {
        clickOption(dialog.Option2);
        ASSERT_TRUE(dialog.Option2->isChecked());
        ASSERT_TRUE(dialog.Dir1->setPath("D:\\WAVES"));
        if (how == "Cancel")
            QTest::mouseClick(dialog.Command2, Qt::LeftButton);
        else
            dialog.close(); // what the title bar's close box does
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(state.DecoderPath, L"C:\\MPEG\\");
    EXPECT_EQ(state.LoadMode, -1);
}

INSTANTIATE_TEST_SUITE_P(Ways, SetupDismissTest, ::testing::Values("Cancel", "CloseBox"),
                         tw::test::namedByValue());

TEST(SetupDialog, ChoosingMinimizedStoresOne) {
    SettingsMachine platform;
    tw::AppState state;
    state.DecoderPath = L"C:\\MPEG";
    runSetup(platform, state, [](Form2& dialog) {
        clickOption(dialog.Option1);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    EXPECT_EQ(state.LoadMode, 1);
}

} // namespace
