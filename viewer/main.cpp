// quorax1: the viewer. With exactly the console tool's eight arguments it
// runs the pipeline unattended and ends; otherwise it waits for the user.
#include <QApplication>
#include <QStringList>

#include <clocale>

#include "tform1.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // QApplication takes the user's locale for the C library too; every file
    // the viewer writes prints numbers with a point.
    std::setlocale(LC_NUMERIC, "C");
    QStringList args = QApplication::arguments();
    args.removeFirst();
    quorax::TForm1 form(args);
    form.show();
    return QApplication::exec();
}
