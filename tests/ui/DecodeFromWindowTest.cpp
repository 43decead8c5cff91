// What the main window hands Decode, from its widgets, over real files in temporary drives; the
// script's text is the core's to check. One Decode runs through to the disk, with the console
// start recorded instead of opening a terminal.
#include "tests/support/CaseNames.h"
#include "tests/support/MessageBoxProbe.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/DirList.h"
#include "ui/DriveList.h"
#include "ui/FileList.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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

    std::filesystem::path m_startDirectory = std::filesystem::current_path();
    tw::test::TempDrives drives;
    tw::test::RecordingPlatform recording{drives.platform()};
    std::unique_ptr<tw::Form1> form;
};

// The window hands Decode its whole list in list order, with the selection beside it, however
// the user picked the rows.
TEST_F(DecodeFromWindow, InputHoldsTheListInItsOrderWithTheSelection) {
    ASSERT_EQ(form->Dir1->path(), QStringLiteral("C:\\MUSIC"));
    select({1, 0});
    const tw::DecodeInput input = form->decodeInput();
    EXPECT_EQ(input.sourceFolder, L"C:\\MUSIC");
    // cover.jpg is not listed, Zebra.MP3 is.
    EXPECT_EQ(input.entries,
              (std::vector<std::wstring>{L"Long Song Title.mp3", L"track01.mp3", L"Zebra.MP3"}));
    EXPECT_EQ(input.selected, (std::vector<bool>{true, true, false}));
}

struct OptionCase {
    int option; // 1..4: Option1..Option4
    tw::OutputFormat format;
    bool check1;
    bool check2;
};

void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << "Option" << c.option << (c.check1 ? " Check1" : "") << (c.check2 ? " Check2" : "");
}

class DecodeOptions : public DecodeFromWindow, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(DecodeOptions, FormatAndSwitchesReachTheInput) {
    const OptionCase& c = GetParam();
    const QString option = QStringLiteral("Option%1").arg(c.option);
    clickIndicator(form->findChild<QRadioButton*>(option));
    if (c.check1)
        clickIndicator(form->Check1);
    if (c.check2)
        clickIndicator(form->Check2);
    const tw::DecodeInput input = form->decodeInput();
    EXPECT_EQ(input.format, c.format);
    EXPECT_EQ(input.searchAgain, c.check1);
    EXPECT_EQ(input.ignoreErrors, c.check2);
}

// Every format once; each switch alone and both together.
INSTANTIATE_TEST_SUITE_P(Table, DecodeOptions,
                         ::testing::Values(OptionCase{1, tw::OutputFormat::Wav, false, false},
                                           OptionCase{2, tw::OutputFormat::Snd, true, false},
                                           OptionCase{3, tw::OutputFormat::Aiff, false, true},
                                           OptionCase{4, tw::OutputFormat::Aifc, true, true}),
                         tw::test::namedByValue());

// The one run through to the disk: what the widgets and the window's state say reaches the
// script, and the start.
TEST_F(DecodeFromWindow, DecodeWritesTheScriptAndStartsIt) {
    select({2, 1});
    clickIndicator(form->Option2);
    clickIndicator(form->Check2);
    form->state().LoadMode = 1;
    const auto seen = tw::test::runAndAnswerBox(
        *form, [&] { QTest::mouseClick(form->Command1, Qt::LeftButton); });
    EXPECT_FALSE(seen.shown) << seen.text.toStdString();
    std::string written;
    ASSERT_TRUE(drives.platform().readFile(L"C:\\MPEG\\TEMP.BAT", written).ok);
    EXPECT_NE(written.find("L3DEC C:\\MUSIC\\TRACK01.MP3 D:\\WAVES\\TRACK01.snd -snd -ign \r\n"),
              std::string::npos)
        << written;
    ASSERT_EQ(recording.batchStarts.size(), 1u);
    EXPECT_TRUE(recording.batchStarts[0].minimized);
}

// A file that cannot be decoded safely is named in a warning (its wording is the core's), and
// the others go ahead.
TEST_F(DecodeFromWindow, AFileLeftOutIsNamedInOneMessageAndTheOthersAreDecoded) {
    drives.createFile(L"D:\\WAVES\\Track01.wav"); // another album's file, another case
    select({0, 1});
    const auto seen = tw::test::runAndAnswerBox(*form, [&] { form->DecodeNow->trigger(); });
    EXPECT_EQ(seen.title, QStringLiteral("Tonwright"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_TRUE(seen.text.contains(QStringLiteral("\"track01.mp3\""))) << seen.text.toStdString();
    EXPECT_EQ(recording.batchStarts.size(), 1u);
}

// A name the script cannot carry is still listed, readably, and left out with its reason.
TEST_F(DecodeFromWindow, FilesWithNamesNoScriptCanHoldAreListedAndLeftOutSayingWhy) {
    drives.createNativeFile("C/MUSIC/line\nbreak.mp3");
    drives.createNativeFile("C/MUSIC/caf\xE9.mp3");
    ASSERT_TRUE(form->File1->refresh());
    const std::vector<std::pair<QString, QString>> expected{
        {QStringLiteral("line\u21B5break.mp3"), QStringLiteral("its name holds a line break")},
        {QStringLiteral("caf\uFFFD.mp3"),
         QStringLiteral("its name is not UTF-8 text: rename it, e.g. with convmv")}};
    for (const auto& [shown, why] : expected) {
        const auto found = form->File1->findItems(shown, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << shown.toStdString();
        select({form->File1->row(found[0])});
    }
    select({form->File1->row(
        form->File1->findItems(QStringLiteral("track01.mp3"), Qt::MatchExactly)[0])});
    const auto seen = tw::test::runAndAnswerBox(*form, [&] { form->DecodeNow->trigger(); });
    for (const auto& [shown, why] : expected)
        EXPECT_TRUE(seen.text.contains("\"" + shown + "\": " + why)) << seen.text.toStdString();
    EXPECT_EQ(recording.batchStarts.size(), 1u);
}

// Files of the outputs' names already in the output folder: one question, three answers.
struct ReplaceCase {
    const char* label;
    int existing;      // how many of the selected files' outputs are there (of 3, then more)
    int answer;        // the button pressed: Replace, Skip, Cancel
    int dels;          // lines of TEMP.BAT that delete an earlier output
    int renames;       // and that rename a new one
    const char* shown; // a text the question shows; empty: no question
};

void PrintTo(const ReplaceCase& c, std::ostream* out) {
    *out << c.label;
}

class ReplaceQuestion : public DecodeFromWindow,
                        public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplaceQuestion, AsksOnceAndDoesWhatTheAnswerSays) {
    const ReplaceCase& c = GetParam();
    const std::wstring outputs[] = {L"track01.wav", L"Long Song Title.wav", L"Zebra.wav"};
    for (int i = 0; i < c.existing; ++i) {
        if (i < 3) {
            drives.createFile(L"D:\\WAVES\\" + outputs[i], "earlier");
            continue;
        }
        drives.createFile(L"C:\\MUSIC\\Song " + std::to_wstring(i) + L".mp3");
        drives.createFile(L"D:\\WAVES\\Song " + std::to_wstring(i) + L".wav", "earlier");
    }
    ASSERT_TRUE(form->File1->refresh());
    form->File1->selectAll();
    tw::test::RecordingBoxes boxes;
    boxes.answer = c.answer;
    form->setMessageBoxes(&boxes);
    form->DecodeNow->trigger();
    form->setMessageBoxes(nullptr);

    ASSERT_EQ(boxes.asked.size(), *c.shown ? 1u : 0u);
    if (*c.shown) {
        EXPECT_EQ(boxes.asked[0].title, QStringLiteral("Tonwright"));
        EXPECT_EQ(boxes.asked[0].buttons, (QStringList{"Replace", "Skip", "Cancel"}));
        EXPECT_TRUE(boxes.asked[0].text.contains(QString::fromUtf8(c.shown)))
            << boxes.asked[0].text.toStdString();
    }
    const std::string script = tw::test::readFile(drives.native(L"C:\\MPEG\\TEMP.BAT"));
    const auto count = [&](const std::string& word) {
        std::size_t n = 0;
        for (std::size_t at = script.find(word); at != std::string::npos;
             at = script.find(word, at + 1))
            ++n;
        return static_cast<int>(n);
    };
    EXPECT_EQ(count(" del \""), c.dels) << script;
    EXPECT_EQ(count("REN "), c.renames) << script;
    EXPECT_EQ(recording.batchStarts.size(), c.renames > 0 ? 1u : 0u);
    // Skipped files are named where left-out files are.
    if (c.answer == 1) {
        EXPECT_TRUE(!boxes.shown.empty() &&
                    boxes.shown[0].text.contains("which you chose to keep"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceQuestion,
    ::testing::Values(ReplaceCase{"NothingThere", 0, 0, 0, 3, ""},
                      ReplaceCase{"Replace", 2, 0, 2, 3, "2 files in the output folder"},
                      ReplaceCase{"Skip", 2, 1, 0, 1, "\"track01.wav\""},
                      ReplaceCase{"Cancel", 1, 2, 0, 0, "A file in the output folder"},
                      ReplaceCase{"MoreThanAScreenful", 25, 0, 25, 25, "... and 5 more."}),
    [](const auto& tested) { return std::string(tested.param.label); });

TEST_F(DecodeFromWindow, AFailedStartIsReportedUnderTheApplicationTitle) {
    recording.batchResult = tw::Status::failure(L"no terminal to run it in");
    select({1});
    const auto seen = tw::test::runAndAnswerBox(*form, [&] { form->DecodeNow->trigger(); });
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
        const auto sorry = tw::test::runAndAnswerBox(form, [&] { emit form.Drive1->activated(2); });
        EXPECT_TRUE(sorry.shown);
        EXPECT_EQ(sorry.text, QStringLiteral("Sorry!"));
        EXPECT_EQ(sorry.title, QStringLiteral("Tonwright"));
        EXPECT_EQ(form.Dir1->path(), QStringLiteral("C:\\MUSIC"));
        EXPECT_EQ(form.File1->path(), QStringLiteral("C:\\MUSIC"));
        EXPECT_TRUE(form.File1->isSelected(0));

        const auto none =
            tw::test::runAndAnswerBox(form, [&] { QTest::keyClick(form.Drive1, Qt::Key_Up); });
        EXPECT_FALSE(none.shown);
        EXPECT_EQ(form.Dir1->path(), QStringLiteral("D:\\"));
        ASSERT_EQ(form.File1->listCount(), 1);
        EXPECT_EQ(form.File1->list(0), QStringLiteral("tune.mp3"));
        EXPECT_FALSE(form.File1->isSelected(0));
    }
    std::filesystem::current_path(startDirectory);
}

} // namespace
