// Helpers shared by the window tests: files in a temporary folder, the log's
// lines, and for the pictures where a model point lands in the panel and
// whether a colour is found near a pixel.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QStringList>

#include "vec3.h"

class QTemporaryDir;

namespace quorax {
class TForm1;
struct ViewerState;
} // namespace quorax

namespace window_test {

// Writes `bytes` to `name` in `dir` and returns the full path.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// The lines of the log Memo1, in order.
QStringList logLines(const quorax::TForm1& form);

// Where model point `p` lands in a panel of w × h pixels (x right, y down),
// with the trackball untouched: the scene normalised to the main mesh's box
// and divided by the zoom, seen from (3, 3, 3) towards the origin with up
// (0, 1, 0), a 30° vertical field of view, and the aspect the larger side over
// the smaller.
QPointF projectToPanel(quorax::Vec3 p, const quorax::ViewerState& state, int w, int h);

// True when a pixel within `radius` of `at` has each channel within `tol` of
// `rgb`.
bool colorNear(const QImage& image, QPointF at, int radius, QColor rgb, int tol);

// Pixels of `image` that differ from `background` by more than 2 in any
// channel, and their bounding rectangle.
int countNonBackground(const QImage& image, QColor background, QRect* bounds = nullptr);

// The grey-blue background (0.5, 0.6, 0.7) in 8-bit channels.
inline const QColor kBackground(128, 153, 179);

// A square of side 2 in the plane through the origin facing the viewer at
// (3, 3, 3), its corners at ±right ± up of the view, as two triangles wound
// counter-clockwise as seen from the viewer. Its box is centred at the origin.
QByteArray facingQuadObj();

} // namespace window_test
