// Takes the README's screenshots of the viewer on the bundled example: the
// typical session, pressed button by button.
//   viewer_screenshots EXAMPLES_DIR OUTPUT_DIR
#include <QTest>
#include <QtWidgets>

#include <clocale>
#include <cstdio>

#include "gl_panel.h"
#include "tform1.h"

namespace {

void save(quorax::TForm1& form, const QString& path) {
    QApplication::processEvents();
    QTest::qWait(200);
    if (!form.grab().save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else std::printf("%s\n", qPrintable(path));
}

// A left drag across the view turns the scene.
void turn(quorax::TForm1& form, QPoint from, QPoint to) {
    QWidget* panel = form.PanelOGL;
    QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 10; ++i) {
        const QPoint p = from + (to - from) * i / 10;
        QMouseEvent move(QEvent::MouseMove, p, panel->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(panel, &move);
    }
    QTest::qWait(300); // hold still: no spin
    QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, to);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s EXAMPLES_DIR OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString examples = argv[1], out = argv[2];
    QStandardPaths::setTestModeEnabled(true); // the layout of a fresh start, not the user's
    QSettings("QUORAX", "quorax1").clear();
    quorax::TForm1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    form.chooseFile = [&](QFileDialog* d) {
        return d == form.Open_obj ? examples + "/fas2.obj" : examples + "/fas2.dx";
    };

    form.ToolButton3->click();
    turn(form, {250, 300}, {330, 260});
    save(form, out + "/viewer-surface.png");

    form.Button1->click();
    form.Button2->click();
    form.CB_surfcolor->setChecked(true);
    save(form, out + "/viewer-potential.png");

    form.PageControl1->setCurrentWidget(form.TabSheet5);
    form.cb_drawgrid->setChecked(false);
    form.B_gradient->click();
    form.B_powlines->click();
    form.B_reducepoints_XXL->click();
    form.CB_showlines->setChecked(true);
    save(form, out + "/viewer-lines.png");

    form.B_decor1->click();
    form.CB_showdeco->setChecked(true);
    save(form, out + "/viewer-decorations.png");
    return 0;
}
