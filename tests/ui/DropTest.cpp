// Files and folders dropped on the main window, as a file manager drops them, or named on the
// command line, which follows the same rules.
#include "tests/support/MessageBoxProbe.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/FileList.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

struct DropCase {
    const char* name;
    std::vector<std::wstring> dropped; // drive paths
    bool taken;
    QString dir1;         // where the lists are afterwards
    QStringList selected; // what File1 has selected afterwards
    QString message;      // a part of the message shown, or empty for none
    QString started;      // the message when named on the command line, where it differs
};

void PrintTo(const DropCase& c, std::ostream* os) {
    *os << c.name;
}

class DroppedFiles : public ::testing::TestWithParam<std::tuple<DropCase, bool>> {};

TEST_P(DroppedFiles, AreBrowsedToAndSelected) {
    const auto& [c, named] = GetParam();
    const QString message = named && !c.started.isEmpty() ? c.started : c.message;
    tw::test::TempDrives drives;
    for (const wchar_t* file :
         {L"C:\\MUSIC\\A\\a.mp3", L"C:\\MUSIC\\A\\b.mp3", L"C:\\MUSIC\\A\\c.mp3",
          L"C:\\MUSIC\\A\\notes.txt", L"C:\\MUSIC\\B\\x.mp3", L"C:\\START\\keep.txt"})
        drives.createFile(file);
    ASSERT_TRUE(drives.platform().setCurrentDirectory(L"C:\\START").ok);
    tw::test::RecordingPlatform recording(drives.platform());
    tw::Form1 form(recording);
    form.show();
    ASSERT_EQ(form.Dir1->path(), QStringLiteral("C:\\START"));

    QStringList paths;
    for (const std::wstring& path : c.dropped)
        paths << QString::fromStdString(drives.native(path));
    tw::test::BoxSeen seen;
    if (named) {
        seen = tw::test::runAndAnswerBox(form, [&] { form.openFromCommandLine(paths); });
    } else {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        mime.setUrls(urls);
        const QPointF at(50, 50);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &enter);
        EXPECT_EQ(enter.isAccepted(), c.taken);
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        seen = tw::test::runAndAnswerBox(form, [&] { QApplication::sendEvent(&form, &drop); });
    }

    EXPECT_EQ(form.Dir1->path(), c.dir1);
    EXPECT_EQ(form.Drive1->drive().left(2), c.dir1.left(2));
    QStringList selected;
    for (int i = 0; i < form.File1->listCount(); ++i)
        if (form.File1->isSelected(i))
            selected << form.File1->list(i);
    EXPECT_EQ(selected, c.selected);
    EXPECT_EQ(seen.shown, !message.isEmpty()) << seen.text.toStdString();
    if (seen.shown) {
        EXPECT_EQ(seen.title, QStringLiteral("Tonwright"));
        EXPECT_TRUE(seen.text.contains(message)) << seen.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DroppedFiles,
    ::testing::Combine(
        ::testing::Values(DropCase{"FilesOfOneFolder",
                                   {L"C:\\MUSIC\\A\\a.mp3", L"C:\\MUSIC\\A\\c.mp3",
                                    L"C:\\MUSIC\\A\\notes.txt"},
                                   true,
                                   "C:\\MUSIC\\A",
                                   {"a.mp3", "c.mp3"},
                                   {},
                                   {}},
                          DropCase{"FilesOfSeveralFolders",
                                   {L"C:\\MUSIC\\A\\b.mp3", L"C:\\MUSIC\\B\\x.mp3"},
                                   true,
                                   "C:\\MUSIC\\A",
                                   {"b.mp3"},
                                   "Not taken: the files from C:\\MUSIC\\B",
                                   {}},
                          DropCase{"AFolder", {L"C:\\MUSIC\\B"}, true, "C:\\MUSIC\\B", {}, {}, {}},
                          DropCase{"NoMp3AtAll",
                                   {L"C:\\MUSIC\\A\\notes.txt", L"C:\\START\\keep.txt"},
                                   false,
                                   "C:\\START",
                                   {},
                                   {},
                                   "Nothing to open"}),
        ::testing::Bool()),
    [](const auto& tested) {
        return std::string(std::get<0>(tested.param).name) +
               (std::get<1>(tested.param) ? "_Named" : "_Dropped");
    });

} // namespace
