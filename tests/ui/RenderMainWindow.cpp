// Renders the main window over a small made-up machine and saves it as a PNG, for the docs:
//   render_main_window OUTPUT.png
#include "tests/support/MemoryPlatform.h"
#include "ui/Application.h"
#include "ui/FileList.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_main_window OUTPUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    tw::setUpApplication();

    tw::test::MemoryPlatform machine;
    machine.addDrive(L"C:", L"[/]");
    machine.addDrive(L"D:", L"[/media/cdrom]");
    for (const wchar_t* dir : {L"C:\\MUSIC\\Live", L"C:\\MUSIC\\Singles", L"C:\\MUSIC\\Demos"})
        machine.addDirectory(dir);
    for (const wchar_t* name : {L"track01.mp3", L"track02.mp3", L"Long Song Title.mp3",
                                L"Overture.MP3", L"Interlude.mp3", L"Finale.mp3"})
        machine.addFile(std::wstring(L"C:\\MUSIC\\") + name);
    machine.current = L"C:\\MUSIC";

    tw::Form1 window(machine);
    window.setLabel1(QStringLiteral("D:\\WAVES\\"));
    window.File1->item(0)->setSelected(true);
    window.File1->item(2)->setSelected(true);
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "render_main_window: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
