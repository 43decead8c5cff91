#include "ui/Form1.h"
#include "tests/support/MemoryPlatform.h"
#include "tests/support/MessageBoxProbe.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/FileList.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

using tw::test::MemoryPlatform;
using tw::test::okBox;
using tw::test::runAndAnswerBox;

namespace {

// C: holds MUSIC (tracks in mixed case, a subfolder LIVE) and EMPTY; D: is in the drive map
// but its root cannot be read (a drive without a medium).
MemoryPlatform makeMusicMachine() {
    MemoryPlatform p;
    p.addDrive(L"C:", L"[/]");
    p.addDrive(L"D:", L"[/media/cdrom]", false);
    p.addDrive(L"E:", L"[/mnt/usb]");
    p.addDirectory(L"C:\\MUSIC\\LIVE");
    p.addDirectory(L"C:\\EMPTY");
    for (const wchar_t* name : {L"track01.mp3", L"TRACK02.MP3", L"cover.jpg"})
        p.addFile(std::wstring(L"C:\\MUSIC\\") + name);
    for (const wchar_t* name : {L"live1.mp3", L"LIVE2.Mp3", L"notes.txt"})
        p.addFile(std::wstring(L"C:\\MUSIC\\LIVE\\") + name);
    p.current = L"C:\\MUSIC";
    return p;
}

struct ControlRow {
    const char* name;
    const char* kind;      // class the control must be
    const char* container; // "window" or the frame's name
    const char* caption;   // nullptr where the control has no caption
    int left, top, width, height;
    int tabIndex;
};

// The main window's controls as the layout gives them, in twips (the client area is 6255 by
// 4410).
const ControlRow kControls[] = {
    {"Frame1", "QGroupBox", "window", "File selector", 0, 0, 6255, 2775, 1},
    {"Drive1", "tw::DriveList", "Frame1", nullptr, 120, 240, 2655, 315, 4},
    {"Dir1", "tw::DirList", "Frame1", nullptr, 120, 600, 2655, 2115, 3},
    {"File1", "tw::FileList", "Frame1", nullptr, 2760, 240, 3375, 2430, 2},
    {"Frame3", "QGroupBox", "window", "Options", 0, 2760, 3615, 975, 9},
    {"Check2", "QCheckBox", "Frame3", "Ignore all error messages", 120, 600, 2295, 255, 11},
    {"Check1", "QCheckBox", "Frame3", "Search again after loss of synchronization", 120, 240, 3375,
     255, 10},
    {"Frame2", "QGroupBox", "window", "Output format", 3720, 2760, 2535, 975, 0},
    {"Option4", "QRadioButton", "Frame2", "AIFC", 1560, 600, 855, 255, 8},
    {"Option3", "QRadioButton", "Frame2", "AIFF", 1560, 240, 855, 255, 7},
    {"Option2", "QRadioButton", "Frame2", "SND", 120, 600, 855, 255, 6},
    {"Option1", "QRadioButton", "Frame2", "WAV (default)", 120, 240, 1455, 255, 5},
    {"Frame4", "QGroupBox", "window", "", 0, 3720, 4935, 615, 12},
    {"Command2", "QPushButton", "Frame4", "Destination", 120, 240, 1215, 255, 13},
    {"Label1", "QLabel", "Frame4", "", 1440, 240, 3375, 255, 14},
    {"Frame5", "QGroupBox", "window", "", 5040, 3720, 1215, 615, 15},
    {"Command1", "QPushButton", "Frame5", "Decode", 120, 240, 975, 255, 16},
};

QString captionOf(QWidget* w) {
    if (auto* frame = qobject_cast<QGroupBox*>(w))
        return frame->title();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    return {};
}

TEST(Form1, ControlsStandWhereTheLayoutPutsThemInKeyboardOrder) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    EXPECT_EQ(form.centralWidget()->size(), QSize(tw::twips(6255), tw::twips(4410)));
    QMap<int, QWidget*> byTabIndex;
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* w = form.findChild<QWidget*>(QLatin1String(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        const QWidget* container = w->parentWidget();
        if (QLatin1String(row.container) == QLatin1String("window"))
            EXPECT_EQ(container, form.centralWidget());
        else
            EXPECT_EQ(container->objectName(), QLatin1String(row.container));
        if (row.caption) {
            EXPECT_EQ(captionOf(w), QString::fromUtf8(row.caption));
        }
        EXPECT_EQ(w->geometry(), tw::twipsRect(row.left, row.top, row.width, row.height));
        EXPECT_TRUE(w->isVisibleTo(&form));
        byTabIndex.insert(row.tabIndex, w);
    }
    // Frames and labels never take the focus; the others follow their tab index.
    QList<QWidget*> expected;
    for (QWidget* w : byTabIndex) {
        const bool focusable = !qobject_cast<QGroupBox*>(w) && !qobject_cast<QLabel*>(w);
        EXPECT_EQ(w->focusPolicy() != Qt::NoFocus, focusable) << w->objectName().toStdString();
        if (focusable)
            expected << w;
    }
    QList<QWidget*> chain;
    QWidget* w = expected.first();
    do {
        if (expected.contains(w))
            chain << w;
        w = w->nextInFocusChain();
    } while (w != expected.first() && chain.size() <= expected.size());
    EXPECT_EQ(chain, expected);
}

TEST(Form1, WindowCaptionBorderClientAreaAndMenus) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Vandrel Tonwright 1.10"));
    EXPECT_EQ(form.centralWidget()->y(), form.menuBar()->height()); // menu bar above the client
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(form.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));

    QStringList menus;
    for (QAction* menu : form.menuBar()->actions()) {
        QStringList items{menu->text()};
        for (QAction* item : menu->menu()->actions()) {
            items << (item->isSeparator() ? QStringLiteral("-") : item->text());
            EXPECT_TRUE(item->shortcut().isEmpty());
        }
        menus << items.join(QLatin1Char('|'));
    }
    EXPECT_EQ(menus, (QStringList{"&File|&Decode|-|E&xit", "&Options|&Setup|-|&Destination",
                                  "&Help|&About"}));

    EXPECT_TRUE(form.Command1->isDefault());
    EXPECT_TRUE(form.Command1->font().bold());
    EXPECT_FALSE(form.Command2->isDefault());
    EXPECT_EQ(form.focusWidget(), form.File1);
}

TEST(Form1, StartsAtTheCurrentDirectoryWithWavAndNoSwitches) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    EXPECT_EQ(form.Drive1->drive(), QStringLiteral("C: [/]"));
    EXPECT_EQ(form.Dir1->path(), QStringLiteral("C:\\MUSIC"));
    EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC"));
    ASSERT_EQ(form.File1->listCount(), 2);
    EXPECT_EQ(form.File1->list(0), QStringLiteral("track01.mp3"));
    EXPECT_EQ(form.File1->list(1), QStringLiteral("TRACK02.MP3"));
    EXPECT_TRUE(form.Option1->isChecked());
    EXPECT_FALSE(form.Check1->isChecked() || form.Check2->isChecked());
    EXPECT_TRUE(form.label1().isEmpty());
}

TEST(Form1, OpeningADirectoryRefreshesTheFileListHighlightingDoesNot) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    form.show();
    form.File1->item(1)->setSelected(true);
    const QPoint live = form.Dir1->visualItemRect(form.Dir1->item(2)).center();
    ASSERT_EQ(form.Dir1->item(2)->text(), QStringLiteral("LIVE"));

    QTest::mouseClick(form.Dir1->viewport(), Qt::LeftButton, {}, live);
    EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC"));
    EXPECT_TRUE(form.File1->isSelected(1));

    QTest::mouseDClick(form.Dir1->viewport(), Qt::LeftButton, {}, live);
    EXPECT_EQ(form.Dir1->path(), QStringLiteral("C:\\MUSIC\\LIVE"));
    EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC\\LIVE"));
    ASSERT_EQ(form.File1->listCount(), 2);
    EXPECT_EQ(form.File1->list(0), QStringLiteral("live1.mp3"));
    EXPECT_EQ(form.File1->list(1), QStringLiteral("LIVE2.Mp3"));
    EXPECT_TRUE(form.File1->selectedItems().isEmpty());
}

TEST(Form1, ADriveThatCannotBeReadSaysSorryAndLeavesTheListsAlone) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    form.show();
    form.File1->item(0)->setSelected(true);

    // The user steps from C: to D: in the drive list.
    EXPECT_EQ(runAndAnswerBox(form, [&] { QTest::keyClick(form.Drive1, Qt::Key_Down); }),
              okBox("Tonwright", "Sorry!", QMessageBox::NoIcon));
    EXPECT_EQ(form.Drive1->drive(), QStringLiteral("D: [/media/cdrom]"));
    EXPECT_EQ(form.Dir1->path(), QStringLiteral("C:\\MUSIC"));
    EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC"));
    EXPECT_TRUE(form.File1->isSelected(0));

    // A ready drive then works: its root, and the file list follows.
    const auto next = runAndAnswerBox(form, [&] { QTest::keyClick(form.Drive1, Qt::Key_Down); });
    EXPECT_FALSE(next.shown);
    EXPECT_EQ(form.Dir1->path(), QStringLiteral("E:\\"));
    EXPECT_EQ(form.File1->path(), QStringLiteral("E:\\"));
}

TEST(Form1, DecodeWithNothingSelectedSaysYikesFromButtonMenuAndEnter) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    form.show();
    const std::function<void()> ways[] = {
        [&] { QTest::mouseClick(form.Command1, Qt::LeftButton); },
        [&] { form.DecodeNow->trigger(); },
        [&] { QTest::keyClick(form.File1, Qt::Key_Return); }, // the default button
    };
    const auto yikes = okBox("Yikes!", "Um... pick a file, Einstein!", QMessageBox::Warning);
    for (const auto& way : ways)
        EXPECT_EQ(runAndAnswerBox(form, way), yikes);
    EXPECT_EQ(machine.current, L"C:\\MUSIC"); // Decode stopped before touching anything
}

TEST(Form1, EnterInTheDirectoryListOpensInsteadOfDecoding) {
    MemoryPlatform machine = makeMusicMachine();
    tw::Form1 form(machine);
    form.show();
    form.Dir1->setCurrentRow(2);
    const auto seen = runAndAnswerBox(form, [&] { QTest::keyClick(form.Dir1, Qt::Key_Return); });
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC\\LIVE"));
}

} // namespace

namespace {

TEST(Application, FontIsEightPointOfTheFirstInstalledDialogFamily) {
    const QStringList installed = QFontDatabase::families();
    QString expected;
    for (const char* family :
         {"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"}) {
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive)) {
            expected = QLatin1String(family);
            break;
        }
    }
    if (expected.isEmpty())
        GTEST_SKIP() << "none of the dialog font families is installed";
    EXPECT_EQ(QApplication::font().family().toLower(), expected.toLower());
    EXPECT_EQ(QApplication::font().pointSize(), 8);
    std::printf("application font: %s\n", qPrintable(QApplication::font().family()));
}

} // namespace
