// Decode as the user runs it from the main window, over real files in temporary drives; the
// console start is recorded instead of opening a terminal.
#include "MessageBoxProbe.h"
#include "tests/support/CaseNames.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/FileList.h"
#include "ui/Form1.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

class DecodeFromWindow : public ::testing::Test {
protected:
    void SetUp() override {
        drives.createFile(L"C:\\MUSIC\\track01.mp3");
        drives.createFile(L"C:\\MUSIC\\Long Song Title.mp3");
        drives.createFile(L"C:\\MUSIC\\Zebra.MP3");
        drives.createFile(L"C:\\MUSIC\\cover.jpg");
        drives.createDirectory(L"C:\\MPEG");
        drives.createDirectory(L"D:\\WAVES");
        // The window starts where the process is.
        ASSERT_TRUE(drives.platform().setCurrentDirectory(L"C:\\MUSIC").ok);
        form = std::make_unique<tw::Form1>(recording);
        form->state().DecoderPath = L"C:\\MPEG";
        form->state().Destination = L"D:\\WAVES\\";
        form->show();
    }
    void TearDown() override {
        form.reset();
        std::filesystem::current_path(m_startDirectory); // Decode moves the process
    }

    // Selects File1's rows the way a user does: Ctrl+click, in the order given.
    void select(std::initializer_list<int> rows) {
        for (int row : rows) {
            const QRect rect = form->File1->visualItemRect(form->File1->item(row));
            QTest::mouseClick(form->File1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              rect.center());
        }
    }
    // Check and option buttons are clicked on their indicator, as a user aims.
    static void clickIndicator(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    std::string script() {
        std::string bytes;
        if (!drives.platform().readFile(L"C:\\MPEG\\TEMP.BAT", bytes).ok)
            return "(no script)";
        return bytes;
    }
    // Runs Decode through `way`; any message box it opens fails the test.
    void decode(const std::function<void()>& way) {
        const auto seen = tw::test::runAndAnswerBox(way);
        EXPECT_FALSE(seen.shown) << seen.text.toStdString();
    }

    std::filesystem::path m_startDirectory = std::filesystem::current_path();
    tw::test::TempDrives drives;
    tw::test::RecordingPlatform recording{drives.platform()};
    std::unique_ptr<tw::Form1> form;
};

TEST_F(DecodeFromWindow, TheWorkedExampleInListOrderWhateverTheOrderOfSelection) {
    ASSERT_EQ(form->Dir1->path(), QStringLiteral("C:\\MUSIC"));
    ASSERT_EQ(form->File1->listCount(), 3); // cover.jpg is not listed, Zebra.MP3 is
    ASSERT_EQ(form->File1->list(0), QStringLiteral("Long Song Title.mp3"));
    ASSERT_EQ(form->File1->list(1), QStringLiteral("track01.mp3"));
    ASSERT_EQ(form->File1->list(2), QStringLiteral("Zebra.MP3"));
    select({1, 0});
    clickIndicator(form->Check1);
    decode([&] { QTest::mouseClick(form->Command1, Qt::LeftButton); });

    EXPECT_EQ(script(), "L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO~1.wav -wav -sa \r\n"
                        "REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"\r\n"
                        "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa \r\n"
                        "REN D:\\WAVES\\TRACK01.wav \"track01.wav\"\r\n");
    ASSERT_EQ(recording.batchStarts.size(), 1u);
    EXPECT_EQ(recording.batchStarts[0].directory, L"C:\\MPEG");
    EXPECT_EQ(recording.batchStarts[0].scriptName, L"TEMP.BAT");
    EXPECT_FALSE(recording.batchStarts[0].minimized);
}

// A file that cannot be decoded safely is named in one message, and the others go ahead.
TEST_F(DecodeFromWindow, AFileLeftOutIsNamedInOneMessageAndTheOthersAreDecoded) {
    drives.createFile(L"D:\\WAVES\\Track01.wav"); // another album's file, another case
    form->Dir1->setPath(QStringLiteral("C:\\MUSIC"));
    select({0, 1});
    const auto seen = tw::test::runAndAnswerBox([&] { form->DecodeNow->trigger(); });
    EXPECT_EQ(seen, tw::test::okBox(QStringLiteral("Tonwright"),
                                    QStringLiteral("These files were left out of the decode:\n\n"
                                                   "\"track01.mp3\": the output folder holds "
                                                   "\"Track01.wav\", which differs from its "
                                                   "output name \"track01.wav\" only in case.\n\n"
                                                   "The other files are being decoded."),
                                    QMessageBox::Warning));
    EXPECT_EQ(script(), "L3DEC C:\\MUSIC\\LONGSO~1.MP3 D:\\WAVES\\LONGSO~1.wav -wav \r\n"
                        "REN D:\\WAVES\\LONGSO~1.wav \"Long Song Title.wav\"\r\n");
    EXPECT_EQ(recording.batchStarts.size(), 1u);
}

struct OptionCase {
    const char* format; // object name of the option button
    bool check1;
    bool check2;
    const char* expected; // the two lines for track01.mp3
};

void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.format << (c.check1 ? " -sa" : "") << (c.check2 ? " -ign" : "");
}

class DecodeOptions : public DecodeFromWindow, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(DecodeOptions, FormatAndSwitchesReachTheScript) {
    const OptionCase& c = GetParam();
    clickIndicator(form->findChild<QRadioButton*>(QLatin1String(c.format)));
    if (c.check1)
        clickIndicator(form->Check1);
    if (c.check2)
        clickIndicator(form->Check2);
    select({1});
    decode([&] { form->DecodeNow->trigger(); });
    EXPECT_EQ(script(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeOptions,
    ::testing::Values(
        OptionCase{"Option1", false, false,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav \r\n"
                   "REN D:\\WAVES\\TRACK01.wav \"track01.wav\"\r\n"},
        OptionCase{"Option2", false, false,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.snd -snd \r\n"
                   "REN D:\\WAVES\\TRACK01.snd \"track01.snd\"\r\n"},
        OptionCase{"Option3", false, false,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.aiff -aif \r\n"
                   "REN D:\\WAVES\\TRACK01.aiff \"track01.aiff\"\r\n"},
        OptionCase{"Option4", false, false,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.aifc -aic \r\n"
                   "REN D:\\WAVES\\TRACK01.aifc \"track01.aifc\"\r\n"},
        OptionCase{"Option1", true, false,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -sa \r\n"
                   "REN D:\\WAVES\\TRACK01.wav \"track01.wav\"\r\n"},
        OptionCase{"Option1", false, true,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.wav -wav -ign \r\n"
                   "REN D:\\WAVES\\TRACK01.wav \"track01.wav\"\r\n"},
        OptionCase{"Option4", true, true,
                   "L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.aifc -aic -sa -ign \r\n"
                   "REN D:\\WAVES\\TRACK01.aifc \"track01.aifc\"\r\n"}),
    tw::test::namedByValue());

TEST_F(DecodeFromWindow, ButtonAndMenuWriteTheSameScript) {
    select({2, 1});
    clickIndicator(form->Option2);
    clickIndicator(form->Check2);
    form->state().LoadMode = 1;
    decode([&] { QTest::mouseClick(form->Command1, Qt::LeftButton); });
    const std::string byButton = script();
    ASSERT_TRUE(std::filesystem::remove(drives.native(L"C:\\MPEG\\TEMP.BAT")));
    decode([&] { form->DecodeNow->trigger(); });
    EXPECT_EQ(script(), byButton);
    EXPECT_NE(byButton.find("ZEBRA.snd -snd -ign \r\n"), std::string::npos) << byButton;
    ASSERT_EQ(recording.batchStarts.size(), 2u);
    EXPECT_TRUE(recording.batchStarts[0].minimized);
    EXPECT_TRUE(recording.batchStarts[1].minimized);
}

TEST_F(DecodeFromWindow, NothingSelectedSaysYikesAndWritesNothing) {
    const auto seen =
        tw::test::runAndAnswerBox([&] { QTest::mouseClick(form->Command1, Qt::LeftButton); });
    EXPECT_EQ(seen.title, QStringLiteral("Yikes!"));
    EXPECT_EQ(script(), "(no script)");
    EXPECT_TRUE(recording.batchStarts.empty());
}

TEST_F(DecodeFromWindow, AFailedStartIsReportedUnderTheApplicationTitle) {
    recording.batchResult = tw::Status::failure(L"no terminal to run it in");
    select({1});
    const auto seen = tw::test::runAndAnswerBox([&] { form->DecodeNow->trigger(); });
    EXPECT_EQ(seen.title, QStringLiteral("Tonwright"));
    EXPECT_TRUE(seen.text.contains(QStringLiteral("no terminal to run it in")))
        << seen.text.toStdString();
}

TEST(RealDrives, ADriveWhoseRootIsMissingSaysSorryAndAReadyOneOpensAtItsRoot) {
    const std::filesystem::path startDirectory = std::filesystem::current_path();
    tw::test::TempDrives drives({L'C', L'D', L'E'});
    drives.createFile(L"C:\\MUSIC\\track01.mp3");
    drives.createFile(L"D:\\tune.mp3");
    std::filesystem::remove_all(drives.native(L"E:\\")); // in the map, but nothing there
    ASSERT_TRUE(drives.platform().setCurrentDirectory(L"C:\\MUSIC").ok);
    {
        tw::Form1 form(drives.platform());
        form.show();
        ASSERT_EQ(form.File1->listCount(), 1);
        form.File1->item(0)->setSelected(true);

        form.Drive1->setCurrentIndex(2); // E:, as if the user had scrolled to it
        const auto sorry = tw::test::runAndAnswerBox([&] { emit form.Drive1->activated(2); });
        EXPECT_TRUE(sorry.shown);
        EXPECT_EQ(sorry.text, QStringLiteral("Sorry!"));
        EXPECT_EQ(sorry.title, QStringLiteral("Tonwright"));
        EXPECT_EQ(form.Dir1->path(), QStringLiteral("C:\\MUSIC"));
        EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC"));
        EXPECT_TRUE(form.File1->isSelected(0));

        const auto none =
            tw::test::runAndAnswerBox([&] { QTest::keyClick(form.Drive1, Qt::Key_Up); });
        EXPECT_FALSE(none.shown);
        EXPECT_EQ(form.Dir1->path(), QStringLiteral("D:\\"));
        ASSERT_EQ(form.File1->listCount(), 1);
        EXPECT_EQ(form.File1->list(0), QStringLiteral("tune.mp3"));
        EXPECT_FALSE(form.File1->isSelected(0));
    }
    std::filesystem::current_path(startDirectory);
}

} // namespace
