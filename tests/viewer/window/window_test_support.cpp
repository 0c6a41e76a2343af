#include "window_test_support.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

#include "tform1.h"

namespace window_test {

using quorax::Vec3;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return path;
}

QStringList logLines(const quorax::TForm1& form) {
    return form.Memo1->toPlainText().split('\n');
}

QPointF projectToPanel(Vec3 p, const quorax::ViewerState& state, int w, int h) {
    // Model normalisation: the box centre to the origin, the diagonal to 2 / zoom.
    const Vec3 lo = state.mesh.bboxMin, hi = state.mesh.bboxMax;
    const double d =
        std::sqrt(double(hi.x - lo.x) * (hi.x - lo.x) + double(hi.y - lo.y) * (hi.y - lo.y) +
                  double(hi.z - lo.z) * (hi.z - lo.z));
    const double s = 2.0 / d / state.zoom;
    const double x = s * (p.x - 0.5 * (lo.x + hi.x)), y = s * (p.y - 0.5 * (lo.y + hi.y)),
                 z = s * (p.z - 0.5 * (lo.z + hi.z));
    // Eye coordinates of the look-at from (3, 3, 3): right (1, 0, −1)/√2,
    // up (−1, 2, −1)/√6, and the eye √27 from the origin along (1, 1, 1)/√3.
    const double xe = (x - z) / std::sqrt(2.0);
    const double ye = (-x + 2.0 * y - z) / std::sqrt(6.0);
    const double ze = (x + y + z) / std::sqrt(3.0) - std::sqrt(27.0);
    const double f = 1.0 / std::tan(15.0 * std::acos(-1.0) / 180.0);
    const double aspect = w >= h ? double(w) / h : double(h) / w;
    const double xn = f / aspect * xe / -ze, yn = f * ye / -ze;
    return {(xn + 1.0) * 0.5 * w, (1.0 - yn) * 0.5 * h};
}

bool colorNear(const QImage& image, QPointF at, int radius, QColor rgb, int tol) {
    const int cx = static_cast<int>(std::lround(at.x())),
              cy = static_cast<int>(std::lround(at.y()));
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x) {
            if (!image.valid(x, y)) continue;
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - rgb.red()) <= tol && std::abs(c.green() - rgb.green()) <= tol &&
                std::abs(c.blue() - rgb.blue()) <= tol)
                return true;
        }
    return false;
}

int countNonBackground(const QImage& image, QColor background, QRect* bounds) {
    int n = 0;
    QRect r;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - background.red()) > 2 ||
                std::abs(c.green() - background.green()) > 2 ||
                std::abs(c.blue() - background.blue()) > 2) {
                ++n;
                r |= QRect(x, y, 1, 1);
            }
        }
    if (bounds) *bounds = r;
    return n;
}

QByteArray facingQuadObj() {
    const double a = 1.0 / std::sqrt(2.0), b = 1.0 / std::sqrt(6.0);
    const Vec3 right{float(a), 0.0f, float(-a)}, up{float(-b), float(2 * b), float(-b)};
    const Vec3 corners[4] = {-1.0f * right - up, right - up, right + up, -1.0f * right + up};
    QByteArray obj;
    char line[128];
    for (const Vec3& c : corners) {
        std::snprintf(line, sizeof line, "v %.7f %.7f %.7f\n", c.x, c.y, c.z);
        obj += line;
    }
    obj += "f 1 2 3\nf 1 3 4\n";
    return obj;
}

} // namespace window_test
