#include "tests/support/MemoryPlatform.h"
#include "tests/support/ModalDriver.h"
#include "ui/Application.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/Form1.h"
#include "ui/Form3.h"
#include "ui/Form4.h"
#include "ui/Twips.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using tw::Form1;
using tw::Form3;
using tw::Form4;

// D: holds the folders the dialog is pointed at; the process runs in C:\WORK, where a newly
// created directory list starts.
class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_recording.addDrive(L"C:", L"[/]");
        m_recording.addDrive(L"D:", L"[/media/d]");
        m_recording.addDirectory(L"C:\\WORK");
        m_recording.addDirectory(L"D:\\WAVES");
        m_recording.addDirectory(L"D:\\MUSIC");
        ASSERT_TRUE(m_recording.setCurrentDirectory(L"C:\\WORK").ok);
        m_form = std::make_unique<Form1>(m_recording);
    }
    void TearDown() override { m_form.reset(); }

    // Runs the main window's handler; `act` drives the dialog while it is open modally. A
    // dialog the callback leaves open is closed, so a failed check cannot hang the test.
    template <typename Dialog>
    void whileOpen(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
        EXPECT_TRUE(tw::test::whileModal<Dialog>(open, act)) << "the dialog was not shown modally";
    }
    void withDestination(const std::function<void(Form4&)>& act) {
        whileOpen<Form4>([this] { m_form->DestinationSelect_Click(); }, act);
    }
    void withAbout(const std::function<void(Form3&)>& act) {
        whileOpen<Form3>([this] { m_form->About_Click(); }, act);
    }

    std::wstring destination() const { return m_form->state().Destination; }
    void setDestination(const std::wstring& value) {
        m_form->state().Destination = value;
        m_form->setLabel1(QString::fromStdWString(value));
    }
    QString label1() const { return m_form->Label1->text(); }

    // In memory, so that the dialogs are tested alike on every system.
    tw::test::MemoryPlatform m_recording;
    std::unique_ptr<Form1> m_form;
};

int rowOf(const tw::DirList& list, const QString& path) {
    for (int row = 0; row < list.count(); ++row)
        if (list.rowPath(row) == path)
            return row;
    return -1;
}

void clickRow(tw::DirList& list, const QString& path, bool twice) {
    const int row = rowOf(list, path);
    ASSERT_GE(row, 0) << path.toStdString() << " is not in the list";
    const QPoint centre = list.visualItemRect(list.item(row)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
}

// ---- Output Destination ----

enum class Act { Nothing, OpenMusic, HighlightMusic, PickDriveC };
enum class Close { Okay, Cancel, CloseBox };

struct DestinationCase {
    const char* name;
    std::wstring stored;    // Destination before the dialog opens
    QString shownDrive;     // Drive1 when the dialog has opened
    QString shownDirectory; // Dir1 when the dialog has opened
    Act act;
    Close close;
    std::wstring expected; // Destination afterwards
};

void PrintTo(const DestinationCase& c, std::ostream* out) {
    *out << c.name;
}

class DestinationTest : public DialogsTest,
                        public ::testing::WithParamInterface<DestinationCase> {};

TEST_P(DestinationTest, PrimesFromTheStateAndStoresOnlyOnOkay) {
    const DestinationCase& c = GetParam();
    setDestination(c.stored);
    withDestination([&](Form4& dialog) {
        EXPECT_EQ(dialog.Dir1->path(), c.shownDirectory);
        EXPECT_EQ(dialog.Drive1->drive().left(2), c.shownDrive);
        switch (c.act) {
        case Act::Nothing:
            break;
        case Act::OpenMusic:
            clickRow(*dialog.Dir1, QStringLiteral("D:\\MUSIC"), true);
            EXPECT_EQ(dialog.Dir1->path(), QStringLiteral("D:\\MUSIC"));
            break;
        case Act::HighlightMusic:
            clickRow(*dialog.Dir1, QStringLiteral("D:\\MUSIC"), false);
            break;
        case Act::PickDriveC: {
            const int index = dialog.Drive1->findText(QStringLiteral("C:"), Qt::MatchStartsWith);
            ASSERT_GE(index, 0);
            dialog.Drive1->setCurrentIndex(index);
            emit dialog.Drive1->activated(index);
            break;
        }
        }
        switch (c.close) {
        case Close::Okay:
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
            break;
        case Close::Cancel:
            QTest::mouseClick(dialog.Command2, Qt::LeftButton);
            break;
        case Close::CloseBox:
            dialog.close();
            break;
        }
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(destination(), c.expected);
    EXPECT_EQ(label1(), QString::fromStdWString(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestinationTest,
    ::testing::Values(DestinationCase{"FolderStoredWithBackslash", L"D:\\WAVES\\",
                                      "D:", "D:\\WAVES", Act::Nothing, Close::Okay, L"D:\\WAVES\\"},
                      DestinationCase{"FolderStoredWithoutBackslash", L"D:\\WAVES",
                                      "D:", "D:\\WAVES", Act::Nothing, Close::Okay, L"D:\\WAVES\\"},
                      DestinationCase{"FolderInOtherCase", L"d:\\waves\\", "D:", "D:\\WAVES",
                                      Act::Nothing, Close::Okay, L"D:\\WAVES\\"},
                      DestinationCase{"RootKeepsOneBackslash", L"D:\\", "D:", "D:\\", Act::Nothing,
                                      Close::Okay, L"D:\\"},
                      DestinationCase{"BareDriveIsItsRoot", L"D:", "D:", "D:\\", Act::Nothing,
                                      Close::Okay, L"D:\\"},
                      DestinationCase{"VanishedFolderOpensAtCurrentDirectory", L"D:\\GONE\\",
                                      "D:", "C:\\WORK", Act::Nothing, Close::Okay, L"C:\\WORK\\"},
                      DestinationCase{"EmptyOpensAtCurrentDirectory", L"", "C:", "C:\\WORK",
                                      Act::Nothing, Close::Okay, L"C:\\WORK\\"},
                      DestinationCase{"UnknownDriveOpensAtCurrentDirectory", L"Q:\\WAVES\\",
                                      "C:", "C:\\WORK", Act::Nothing, Close::Okay, L"C:\\WORK\\"},
                      DestinationCase{"OpenedFolderIsStored", L"D:\\", "D:", "D:\\", Act::OpenMusic,
                                      Close::Okay, L"D:\\MUSIC\\"},
                      DestinationCase{"HighlightedFolderIsNot", L"D:\\", "D:", "D:\\",
                                      Act::HighlightMusic, Close::Okay, L"D:\\"},
                      DestinationCase{"PickedDriveMovesTheFolderList", L"D:\\WAVES\\",
                                      "D:", "D:\\WAVES", Act::PickDriveC, Close::Okay, L"C:\\"},
                      DestinationCase{"CancelAfterChanges", L"D:\\", "D:", "D:\\", Act::OpenMusic,
                                      Close::Cancel, L"D:\\"},
                      DestinationCase{"CloseBoxAfterChanges", L"D:", "D:", "D:\\", Act::OpenMusic,
                                      Close::CloseBox, L"D:"}),
    [](const auto& tested) { return std::string(tested.param.name); });

TEST_F(DialogsTest, DestinationKeysEnterPressesTheFocusedButtonAndEscapeDoesNothing) {
    setDestination(L"D:\\");
    withDestination([&](Form4& dialog) {
        EXPECT_EQ(dialog.focusWidget(), dialog.Command1);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
        // The list keeps Enter for itself: it opens the highlighted folder, nothing closes.
        dialog.Dir1->setFocus();
        dialog.Dir1->setCurrentRow(rowOf(*dialog.Dir1, QStringLiteral("D:\\WAVES")));
        QTest::keyClick(dialog.Dir1, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        dialog.Command1->setFocus();
        QTest::keyClick(dialog.Command1, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(destination(), L"D:\\WAVES\\");
}

// The "Destination" button and Options > Destination are one command.
TEST_F(DialogsTest, ButtonAndMenuOpenTheSameDialog) {
    const std::vector<std::pair<const char*, std::function<void()>>> routes{
        {"button", [this] { QTest::mouseClick(m_form->Command2, Qt::LeftButton); }},
        {"menu", [this] { m_form->DestinationSelect->trigger(); }}};
    for (const auto& [name, open] : routes) {
        SCOPED_TRACE(name);
        setDestination(L"D:\\");
        whileOpen<Form4>(open, [&](Form4& dialog) {
            clickRow(*dialog.Dir1, QStringLiteral("D:\\WAVES"), true);
            QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        });
        EXPECT_EQ(destination(), L"D:\\WAVES\\");
        EXPECT_EQ(label1(), QStringLiteral("D:\\WAVES\\"));
    }
}

// ---- About ----

// The box's own window owns what the system shows for the address.
TEST_F(DialogsTest, MailTwiceOpensTheAddressTwiceAndTheBoxStaysOpen) {
    std::uintptr_t boxWindow = 0;
    whileOpen<Form3>([this] { m_form->About->trigger(); },
                     [&](Form3& box) {
                         boxWindow = static_cast<std::uintptr_t>(box.winId());
                         QTest::mouseClick(box.Command1, Qt::LeftButton);
                         QTest::mouseClick(box.Command1, Qt::LeftButton);
                         EXPECT_TRUE(box.isVisible());
                         QTest::mouseClick(box.Command2, Qt::LeftButton);
                         EXPECT_TRUE(box.isVisible());
                     });
    const std::wstring mail = std::wstring(L"mailto:") + Form3::MailAddress;
    EXPECT_EQ(m_recording.openedAddresses,
              (std::vector<std::wstring>{mail, mail, Form3::WebAddress}));
    EXPECT_NE(boxWindow, 0u);
    EXPECT_EQ(m_recording.addressOwners,
              (std::vector<std::uintptr_t>{boxWindow, boxWindow, boxWindow}));
}

TEST_F(DialogsTest, FailingOpenerShowsNothing) {
    m_recording.addressResult = tw::Status::failure(L"no mail program");
    withAbout([&](Form3& box) {
        QTest::mouseClick(box.Command1, Qt::LeftButton);
        QTest::mouseClick(box.Command2, Qt::LeftButton);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activeModalWidget(), &box);
        for (QWidget* top : QApplication::topLevelWidgets())
            EXPECT_FALSE(top->isVisible() && qobject_cast<QMessageBox*>(top));
        EXPECT_TRUE(box.isVisible());
    });
    EXPECT_EQ(m_recording.openedAddresses.size(), 2u);
}

TEST_F(DialogsTest, EnterAtOpenMailsEscapeDoesNothingCoolCloses) {
    bool closedByCool = false;
    withAbout([&](Form3& box) {
        EXPECT_EQ(box.focusWidget(), box.Command1);
        QTest::keyClick(&box, Qt::Key_Escape);
        EXPECT_TRUE(box.isVisible());
        QTest::keyClick(box.focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(box.isVisible());
        QTest::mouseClick(box.Command3, Qt::LeftButton);
        closedByCool = !box.isVisible();
    });
    EXPECT_TRUE(closedByCool);
    EXPECT_EQ(m_recording.openedAddresses,
              std::vector<std::wstring>{std::wstring(L"mailto:") + Form3::MailAddress});
}

// ---- Control tables ----

struct Control {
    QWidget* widget;
    QWidget* container;
    QString caption;              // a button's or label's text; empty for the rest
    int left, top, width, height; // twips
};

void expectControls(const QWidget& window, int clientWidth, int clientHeight,
                    const std::vector<Control>& controls) {
    EXPECT_EQ(window.size(), QSize(tw::twips(clientWidth), tw::twips(clientHeight)));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    for (const Control& c : controls) {
        SCOPED_TRACE(c.widget->objectName().toStdString() + " " + c.caption.toStdString());
        EXPECT_EQ(c.widget->parentWidget(), c.container);
        EXPECT_EQ(c.widget->geometry(), tw::twipsRect(c.left, c.top, c.width, c.height));
        if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
            EXPECT_EQ(button->text(), c.caption);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
        } else if (auto* label = qobject_cast<QLabel*>(c.widget); label && !c.caption.isEmpty()) {
            EXPECT_EQ(label->text(), c.caption);
        } else if (auto* frame = qobject_cast<QGroupBox*>(c.widget)) {
            EXPECT_TRUE(frame->title().isEmpty());
        }
    }
}

// Presses Tab from the first control on and collects where the focus goes.
std::vector<QWidget*> tabOrder(QWidget& window, QWidget* first, std::size_t count) {
    std::vector<QWidget*> order{first};
    first->setFocus();
    while (order.size() < count + 1) {
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
        order.push_back(window.focusWidget());
    }
    return order;
}

TEST_F(DialogsTest, DestinationControls) {
    withDestination([&](Form4& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Output Destination"));
        EXPECT_TRUE(d.windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_EQ(d.windowIcon().pixmap(16, 16).size(), QSize(16, 16));
        expectControls(d, 3165, 3105,
                       {{d.Frame1, &d, {}, 0, 0, 3135, 2655},
                        {d.Drive1, d.Frame1, {}, 120, 240, 2895, 315},
                        {d.Dir1, d.Frame1, {}, 120, 600, 2895, 1890},
                        {d.Command2, &d, "Cancel", 2160, 2760, 975, 255},
                        {d.Command1, &d, "Okay", 1320, 2760, 855, 255}});
        EXPECT_EQ(tabOrder(d, d.Command1, 4),
                  (std::vector<QWidget*>{d.Command1, d.Command2, d.Dir1, d.Drive1, d.Command1}));
    });
}

TEST_F(DialogsTest, AboutControls) {
    withAbout([&](Form3& b) {
        EXPECT_EQ(b.windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(b.palette().color(QPalette::Window), QColor(192, 192, 192));
        EXPECT_TRUE(b.autoFillBackground());
        expectControls(b, 4110, 3075,
                       {{b.Frame2, &b, {}, 0, 2400, 4095, 615},
                        {b.Command3, b.Frame2, "Cool!", 3000, 240, 975, 255},
                        {b.Command2, &b, "www", 120, 1920, 615, 255},
                        {b.Command1, &b, "eMail", 120, 1560, 615, 255},
                        {b.Frame1, &b, {}, 0, 0, 4095, 1455},
                        {b.Picture1, b.Frame1, {}, 240, 360, 480, 480},
                        {b.Label4, b.Frame1, {}, 1080, 1080, 2895, 255},
                        {b.Label3, b.Frame1, {}, 1080, 840, 2895, 255},
                        {b.Label2, b.Frame1, {}, 1080, 480, 2535, 255},
                        {b.Label1, b.Frame1, "Tonwright 1.10", 1080, 240, 2535, 255},
                        {b.Label6, &b, {}, 840, 1920, 3255, 495},
                        {b.Label5, &b, {}, 840, 1560, 3375, 255}});
        EXPECT_EQ(b.Picture1->pixmap().size(), QSize(32, 32));
        EXPECT_TRUE(b.Label3->text().contains(QStringLiteral("Vandrel")));
        EXPECT_TRUE(b.Label5->text().contains(QString::fromWCharArray(Form3::MailAddress)));
        EXPECT_TRUE(b.Label6->text().contains(QString::fromWCharArray(Form3::WebAddress)));
        EXPECT_EQ(
            tabOrder(b, b.Command1, 4),
            (std::vector<QWidget*>{b.Command1, b.Command2, b.Command3, b.Picture1, b.Command1}));
    });
}

// On a dark desktop palette the labels stay dark on the About box's fixed grey.
TEST_F(DialogsTest, AboutTextIsReadableWhateverThePalette) {
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    withAbout([&](Form3& b) {
        const QImage shot = b.grab().toImage();
        // The darkest pixel of the name's label is text, and far darker than the grey.
        int darkest = 255;
        const QRect label = b.Label1->geometry().translated(b.Frame1->pos());
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                darkest = std::min(darkest, qGray(shot.pixel(x, y)));
        EXPECT_LT(darkest, 96);
        b.Command3->click();
    });
    QApplication::setPalette(before);
}

} // namespace
