#include "tests/support/CaseNames.h"
#include "tests/support/ListRows.h"
#include "tests/support/MemoryPlatform.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/FileList.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using tw::test::MemoryPlatform;

namespace {

// C: holds Music (with Rock and Jazz) and Docs; D: is a drive whose root cannot be read.
MemoryPlatform makeMachine() {
    MemoryPlatform p;
    p.addDrive(L"C:", L"[/]");
    p.addDrive(L"D:", L"[/media/cdrom]", false);
    p.addDrive(L"E:", L"[/mnt/usb]");
    p.addDirectory(L"C:\\Music\\Rock");
    p.addDirectory(L"C:\\Music\\Jazz");
    p.addDirectory(L"C:\\Docs");
    p.addDirectory(L"E:\\Songs");
    p.addFile(L"C:\\Music\\b.mp3");
    p.addFile(L"C:\\Music\\A.MP3");
    p.addFile(L"C:\\Music\\c.Mp3");
    p.addFile(L"C:\\Music\\notes.txt");
    p.addFile(L"C:\\Music\\mp3.wav");
    p.current = L"C:\\Music";
    return p;
}

struct PathCase {
    const char* given;
    bool accepted;
    const char* shown; // the path afterwards
};

class DirListPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DirListPath, AcceptsWhatCanBeShownInItsRealSpelling) {
    MemoryPlatform machine = makeMachine();
    machine.current = L"C:\\Docs";
    tw::DirList dir(machine);
    QSignalSpy spy(&dir, &tw::DirList::changed);
    const PathCase& c = GetParam();
    EXPECT_EQ(dir.setPath(QString::fromUtf8(c.given)), c.accepted);
    EXPECT_EQ(dir.path(), QString::fromUtf8(c.shown));
    EXPECT_EQ(spy.count(), dir.path() != QLatin1String("C:\\Docs") ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DirListPath,
    ::testing::Values(
        PathCase{"C:\\Music", true, "C:\\Music"}, PathCase{"c:\\MUSIC\\", true, "C:\\Music"},
        PathCase{"C:\\music\\rock", true, "C:\\Music\\Rock"},
        PathCase{"C:\\Music\\..\\Music\\.\\Jazz", true, "C:\\Music\\Jazz"},
        PathCase{"C:\\", true, "C:\\"}, PathCase{"C:", true, "C:\\"},
        PathCase{"e: [/mnt/usb]", true, "E:\\"}, PathCase{"C:\\Docs", true, "C:\\Docs"},
        PathCase{"C:\\Nowhere", false, "C:\\Docs"}, PathCase{"D:\\", false, "C:\\Docs"},
        PathCase{"D: [/media/cdrom]", false, "C:\\Docs"}, PathCase{"Q:\\", false, "C:\\Docs"},
        PathCase{"Music", false, "C:\\Docs"}, PathCase{"C:Music", false, "C:\\Docs"},
        PathCase{"", false, "C:\\Docs"}),
    tw::test::namedBy([](const PathCase& c) { return std::string(c.given); }));

using tw::test::rows;

TEST(DirList, ShowsParentsThenSubdirectoriesWithTheOpenDirectoryCurrent) {
    MemoryPlatform machine = makeMachine();
    tw::DirList dir(machine);
    EXPECT_EQ(dir.path(), QStringLiteral("C:\\Music"));
    EXPECT_EQ(rows(dir), (QStringList{"C:\\", "Music", "Jazz", "Rock"}));
    EXPECT_EQ(dir.currentRow(), 1);
    EXPECT_EQ(dir.rowPath(2), QStringLiteral("C:\\Music\\Jazz"));
    EXPECT_EQ(dir.rowPath(0), QStringLiteral("C:\\"));
}

TEST(DirList, SingleClickHighlightsDoubleClickAndEnterOpen) {
    MemoryPlatform machine = makeMachine();
    tw::DirList dir(machine);
    dir.resize(200, 200);
    dir.show();
    QSignalSpy spy(&dir, &tw::DirList::changed);
    const QPoint jazz = dir.visualItemRect(dir.item(2)).center();

    QTest::mouseClick(dir.viewport(), Qt::LeftButton, {}, jazz);
    EXPECT_EQ(dir.path(), QStringLiteral("C:\\Music"));
    EXPECT_EQ(spy.count(), 0);

    QTest::mouseDClick(dir.viewport(), Qt::LeftButton, {}, jazz);
    EXPECT_EQ(dir.path(), QStringLiteral("C:\\Music\\Jazz"));
    EXPECT_EQ(spy.count(), 1);

    dir.setCurrentRow(0); // the root, above
    QTest::keyClick(&dir, Qt::Key_Return);
    EXPECT_EQ(dir.path(), QStringLiteral("C:\\"));
    EXPECT_EQ(rows(dir), (QStringList{"C:\\", "Docs", "Music"}));
    EXPECT_EQ(spy.count(), 2);
}

TEST(DriveList, StartsAtTheCurrentDriveAndSetDriveTakesTheLetter) {
    MemoryPlatform machine = makeMachine();
    machine.current = L"E:\\Songs";
    tw::DriveList drive(machine);
    QSignalSpy spy(&drive, &tw::DriveList::changed);
    EXPECT_EQ(drive.drive(), QStringLiteral("E: [/mnt/usb]"));
    EXPECT_EQ(drive.count(), 3);

    EXPECT_TRUE(drive.setDrive(QStringLiteral("c:\\WHATEVER")));
    EXPECT_EQ(drive.drive(), QStringLiteral("C: [/]"));
    EXPECT_FALSE(drive.setDrive(QStringLiteral("Q:\\")));
    EXPECT_FALSE(drive.setDrive(QStringLiteral("C")));
    EXPECT_EQ(drive.drive(), QStringLiteral("C: [/]"));
    EXPECT_EQ(spy.count(), 0); // code never raises the user's change event
}

TEST(DriveList, ChangedOnlyWhenTheUserPicksAnotherDrive) {
    MemoryPlatform machine = makeMachine();
    tw::DriveList drive(machine);
    drive.show();
    QSignalSpy spy(&drive, &tw::DriveList::changed);
    QTest::keyClick(&drive, Qt::Key_Down);
    EXPECT_EQ(drive.drive().left(2), QStringLiteral("D:"));
    EXPECT_EQ(spy.count(), 1);
    emit drive.activated(drive.currentIndex()); // picking the drive already shown
    EXPECT_EQ(spy.count(), 1);
}

TEST(FileList, ListsMatchesWithoutRegardToCaseSortedAndReportsSelection) {
    MemoryPlatform machine = makeMachine();
    tw::FileList files(machine);
    files.setPattern(QStringLiteral("*.mp3"));
    ASSERT_EQ(files.listCount(), 3);
    EXPECT_EQ(files.list(0), QStringLiteral("A.MP3"));
    EXPECT_EQ(files.list(1), QStringLiteral("b.mp3"));
    EXPECT_EQ(files.list(2), QStringLiteral("c.Mp3"));
    EXPECT_EQ(files.list(3), QString());
    EXPECT_EQ(files.selectionMode(), QAbstractItemView::ExtendedSelection);

    files.item(2)->setSelected(true);
    files.item(0)->setSelected(true);
    EXPECT_TRUE(files.isSelected(0));
    EXPECT_FALSE(files.isSelected(1));
    EXPECT_TRUE(files.isSelected(2));

    EXPECT_TRUE(files.refresh());
    EXPECT_EQ(files.selectedItems().size(), 0);
}

TEST(FileList, AnUnreadableDirectoryLeavesNoStaleEntries) {
    MemoryPlatform machine = makeMachine();
    tw::FileList files(machine);
    ASSERT_GT(files.listCount(), 0);
    EXPECT_FALSE(files.setPath(QStringLiteral("D:\\")));
    EXPECT_EQ(files.listCount(), 0);
    EXPECT_EQ(files.path(), QStringLiteral("D:\\"));
    EXPECT_FALSE(files.lastError().isEmpty());
}

} // namespace

namespace {

TEST(DriveList, DroppingDownReadsTheDrivesAfreshKeepingTheOneOnShow) {
    MemoryPlatform machine = makeMachine();
    tw::DriveList drive(machine);
    drive.show();
    QSignalSpy spy(&drive, &tw::DriveList::changed);
    machine.addDrive(L"F:", L"[/media/stick]");
    drive.showPopup();
    drive.hidePopup();
    ASSERT_EQ(drive.count(), 4);
    EXPECT_EQ(drive.itemText(3), QStringLiteral("F: [/media/stick]"));
    EXPECT_EQ(drive.drive(), QStringLiteral("C: [/]"));
    EXPECT_EQ(spy.count(), 0);
    QTest::keyClick(&drive, Qt::Key_End); // the user picks the new drive
    EXPECT_EQ(drive.drive().left(2), QStringLiteral("F:"));
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
