// Renders the Output Destination dialog and the About box (also under a dark palette), as a
// user first sees them, into PNG files for the documentation. Run on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen dialog_screenshots <folder>
#include "tests/support/ModalDriver.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDrives.h"
#include "ui/Application.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Opens a dialog through the main window's handler, grabs it once it is up, and closes it.
bool grabWhileOpen(const std::function<void()>& open, const QString& file) {
    bool saved = false;
    tw::test::whileModal<QDialog>(open, [&](QDialog& dialog) { saved = dialog.grab().save(file); });
    return saved;
}

// The temporary folders behind the drives are nobody's business in a picture: show the
// labels a user would see on an ordinary machine.
class PicturePlatform : public tw::test::RecordingPlatform {
public:
    using RecordingPlatform::RecordingPlatform;
    std::vector<tw::Drive> drives() const override {
        return {{L"C:", L"[/]"}, {L"D:", L"[/media/data]"}};
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_screenshots <folder>\n");
        return 2;
    }
    tw::setUpApplication();
    const QDir out(QString::fromLocal8Bit(argv[1]));

    tw::test::TempDrives drives{{L'C', L'D'}};
    for (const wchar_t* folder :
         {L"D:\\MUSIC", L"D:\\WAVES", L"D:\\WAVES\\Live", L"D:\\WAVES\\Studio"})
        drives.createDirectory(folder);
    PicturePlatform platform(drives.platform());
    tw::Form1 form(platform);
    form.state().Destination = L"D:\\WAVES\\";

    const bool destination = grabWhileOpen([&] { form.DestinationSelect_Click(); },
                                           out.filePath(QStringLiteral("destination-dialog.png")));
    const bool about =
        grabWhileOpen([&] { form.About_Click(); }, out.filePath(QStringLiteral("about-box.png")));

    // The same box under a dark desktop palette: its text must stay readable.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    const bool aboutDark = grabWhileOpen([&] { form.About_Click(); },
                                         out.filePath(QStringLiteral("about-box-dark.png")));
    return destination && about && aboutDark ? 0 : 1;
}
