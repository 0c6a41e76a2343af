// quorax1: the viewer. With exactly the console tool's eight arguments it
// runs the pipeline unattended and ends; otherwise it waits for the user.
#include <QApplication>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tform1.h"
#include "version.h"

namespace {

void printHelp() {
    std::printf(
        "Usage: quorax1 [MESH GRID LINES linesdensity haltgradient haltangle reduce reduceangle]\n"
        "\n"
        "The QUORAX viewer: loads a molecular surface (OBJ or PLY) and an OpenDX\n"
        "potential grid, and runs every step of the field-line pipeline one button\n"
        "at a time, with the surface, the grid, the lines and their arrow heads\n"
        "drawn in 3-D.\n"
        "\n"
        "Without arguments it opens for interactive use. With exactly the eight\n"
        "arguments of quorax it waits three seconds, runs the whole pipeline while\n"
        "showing every stage, writes the lines file and exits with status 0, or 1\n"
        "when an input or the lines file cannot be read or written.\n"
        "\n"
        "Options:\n"
        "  --help     print this help and exit\n"
        "  --version  print the version and exit\n"
        "\n"
        "It needs a display (X11 or Wayland) with OpenGL.\n");
}

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        printHelp();
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorax1 %s\n", QUORAX_VERSION);
        return 0;
    }
    const auto started = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    // QApplication takes the user's locale for the C library too; every file
    // the viewer writes prints numbers with a point.
    std::setlocale(LC_NUMERIC, "C");
    // The arguments as bytes, after QApplication took its own options out:
    // a path that is not valid UTF-8 must reach the file system unchanged.
    const std::vector<std::string> args(argv + 1, argv + argc);
    quorax::TForm1 form(args);
    form.show();
    // The unattended run starts three seconds after the program did: Qt's
    // start and the window's making count towards the wait.
    form.countWaitFrom(started);
    return QApplication::exec();
}
