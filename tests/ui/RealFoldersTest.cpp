// The directory list over real folders, which can vanish under it.
#include "tests/support/ListRows.h"
#include "tests/support/TempDrives.h"
#include "ui/DirList.h"

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using tw::test::rows;

TEST(DirList, OpeningADirectoryThatHasGoneStaysPutAndDropsIt) {
    const std::filesystem::path startDirectory = std::filesystem::current_path();
    tw::test::TempDrives drives({L'C'});
    drives.createDirectory(L"C:\\MUSIC\\Gone");
    drives.createDirectory(L"C:\\MUSIC\\Kept");
    ASSERT_TRUE(drives.platform().setCurrentDirectory(L"C:\\MUSIC").ok);
    {
        tw::DirList dir(drives.platform());
        ASSERT_EQ(rows(dir), (QStringList{"C:\\", "MUSIC", "Gone", "Kept"}));
        std::filesystem::remove(drives.native(L"C:\\MUSIC\\Gone"));
        QSignalSpy spy(&dir, &tw::DirList::changed);
        dir.setCurrentRow(2);
        QTest::keyClick(&dir, Qt::Key_Enter);
        EXPECT_EQ(dir.path(), QStringLiteral("C:\\MUSIC"));
        EXPECT_EQ(rows(dir), (QStringList{"C:\\", "MUSIC", "Kept"}));
        EXPECT_EQ(spy.count(), 0);
    }
    std::filesystem::current_path(startDirectory);
}

} // namespace
