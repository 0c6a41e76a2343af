// quorax1: the viewer. With exactly the console tool's eight arguments it
// runs the pipeline unattended and ends; otherwise it waits for the user.
#include <QApplication>

#include <clocale>
#include <string>
#include <vector>

#include "tform1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // QApplication takes the user's locale for the C library too; every file
    // the viewer writes prints numbers with a point.
    std::setlocale(LC_NUMERIC, "C");
    // The arguments as bytes, after QApplication took its own options out:
    // a path that is not valid UTF-8 must reach the file system unchanged.
    const std::vector<std::string> args(argv + 1, argv + argc);
    quorax::TForm1 form(args);
    form.show();
    return QApplication::exec();
}
