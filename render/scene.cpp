#include "scene.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace quorax {

void setupGlState() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_LIGHTING);
    const GLfloat specular[] = {0.1f, 0.3f, 0.5f, 0.0f};
    const GLfloat diffuse[] = {0.5f, 0.7f, 0.4f, 0.0f};
    const GLfloat shininess[] = {100.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
    // A directional light (w = 0), fixed to the eye: the model-view is the identity here.
    const GLfloat position[] = {-600.0f, 500.0f, 700.0f, 0.0f};
    const GLfloat ambient[] = {0.1f, 0.1f, 0.1f, 1.0f};
    const GLfloat lightDiffuse[] = {0.8f, 0.8f, 0.8f, 1.0f};
    const GLfloat lightSpecular[] = {0.7f, 0.7f, 0.7f, 1.0f};
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, lightSpecular);
    glEnable(GL_LIGHT0);
    glDisable(GL_LIGHTING); // each layer switches lighting on and off itself
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_NORMALIZE); // the viewer's normals are not unit length
    glDepthRange(0.0, 1.0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}

double projectionAspect(double width, double height) {
    if (width <= 0 || height <= 0) return 1.0;
    return width / height;
}

double verticalFieldOfView(double width, double height) {
    constexpr double kField = 30.0;
    if (width <= 0 || height <= 0 || width >= height) return kField;
    // A tall panel keeps 30° across its width, so the model fits as in a wide one.
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    return 2.0 * std::atan(std::tan(kField / 2.0 / kDegrees) * height / width) * kDegrees;
}

void setupProjection(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(verticalFieldOfView(width, height), projectionAspect(width, height), 0.01, 195000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

float sceneScale(Vec3 boxMin, Vec3 boxMax, float zoom) {
    const float d = length(boxMax - boxMin);
    return (2.0f / d) / zoom;
}

namespace {

void lightsOff() {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
}

void color(Vec3 c) { glColor3f(c.x, c.y, c.z); }
void vertex(Vec3 p) { glVertex3f(p.x, p.y, p.z); }
void normal(Vec3 n) { glNormal3f(n.x, n.y, n.z); }

Vec3 nodePosition(Vec3 origin, Vec3 delta, int i, int j, int k) {
    return {origin.x + static_cast<float>(i) * delta.x, origin.y + static_cast<float>(j) * delta.y,
            origin.z + static_cast<float>(k) * delta.z};
}

} // namespace

Vec3 surfaceValueColor(float q, float lo, float hi) {
    const float a = std::fabs(q);
    float t;
    if (a <= lo)
        t = 0.0f;
    else if (a < hi)
        t = (a - lo) / (hi - lo);
    else
        t = 1.0f;
    return q >= 0.0f ? blueRamp(t) : redRamp(t);
}

void SceneRenderer::drawSurface(const SceneInput& in) {
    const SceneSurface& mesh = in.surface;
    const std::span<const MeshVertex> vertices = mesh.vertices;
    const std::span<const MeshFace> faces = mesh.faces;
    const std::size_t faceCount = faces.size();
    auto value = [&](int32_t v) {
        return static_cast<std::size_t>(v) < mesh.values.size() ? mesh.values[static_cast<std::size_t>(v)] : 0.0f;
    };
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor3f(0.5f, 0.5f, 0.5f);
    const float powerRange = in.facePowerMax - in.facePowerMin;
    auto faceColor = [&](const MeshFace& f) {
        const float t = (std::fabs(f.power) - in.facePowerMin) / powerRange;
        return Vec3{1.0f - t, 1.0f - t, 1.0f};
    };
    const bool colored = in.showFacePower || in.surfaceColor;
    if (!in.vertexArrays) {
        glBegin(GL_TRIANGLES);
        for (std::size_t f = 0; f < faceCount; ++f) {
            if (mesh.faceHidden(f)) continue;
            const MeshFace& face = faces[f];
            if (in.showFacePower) color(faceColor(face));
            for (int32_t v : face.v) {
                if (in.surfaceColor) color(surfaceValueColor(value(v), in.minPot, in.maxPot));
                normal(vertices[static_cast<std::size_t>(v)].normal);
                vertex(vertices[static_cast<std::size_t>(v)].pos);
            }
        }
        glEnd();
    } else if (!vertices.empty()) {
        // The same triangles, colours and normals, handed over as arrays.
        // Positions and normals are read in place from the mesh's vertices and
        // the corners go by index, so a frame copies no vertex data. Vertex
        // colours depend on the vertex alone and go per vertex; face colours
        // (power without potential) need a copy of every corner. The buffers
        // are members, kept between frames, so a frame allocates nothing.
        corners_.clear();
        colors_.clear();
        // Surfaces written a face at a time (three vertices of their own per
        // face, in order) draw their corners in vertex order: such a list is
        // drawn as plain arrays, with the same triangles, without indices.
        bool inOrder = true;
        for (std::size_t f = 0; f < faceCount; ++f)
            if (!mesh.faceHidden(f))
                for (int32_t v : faces[f].v) {
                    inOrder = inOrder && static_cast<uint32_t>(v) == corners_.size();
                    corners_.push_back(static_cast<uint32_t>(v));
                }
        const Vec3* pos = &vertices[0].pos;
        const Vec3* nrm = &vertices[0].normal;
        GLsizei stride = sizeof(MeshVertex);
        const bool perCorner = in.showFacePower && !in.surfaceColor;
        if (in.surfaceColor) {
            colors_.reserve(vertices.size());
            for (std::size_t v = 0; v < vertices.size(); ++v)
                colors_.push_back(surfaceValueColor(value(static_cast<int32_t>(v)), in.minPot, in.maxPot));
        } else if (perCorner) {
            cornerPos_.clear();
            cornerNrm_.clear();
            for (std::size_t f = 0; f < faceCount; ++f) {
                if (mesh.faceHidden(f)) continue;
                const Vec3 fc = faceColor(faces[f]);
                for (int32_t v : faces[f].v) {
                    cornerPos_.push_back(vertices[static_cast<std::size_t>(v)].pos);
                    cornerNrm_.push_back(vertices[static_cast<std::size_t>(v)].normal);
                    colors_.push_back(fc);
                }
            }
            pos = cornerPos_.data();
            nrm = cornerNrm_.data();
            stride = sizeof(Vec3);
        }
        if (!corners_.empty()) {
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_NORMAL_ARRAY);
            glVertexPointer(3, GL_FLOAT, stride, pos);
            glNormalPointer(GL_FLOAT, stride, nrm);
            if (colored) {
                glEnableClientState(GL_COLOR_ARRAY);
                glColorPointer(3, GL_FLOAT, sizeof(Vec3), colors_.data());
            }
            const GLsizei n = static_cast<GLsizei>(corners_.size());
            if (perCorner || inOrder)
                glDrawArrays(GL_TRIANGLES, 0, n);
            else
                glDrawElements(GL_TRIANGLES, n, GL_UNSIGNED_INT, corners_.data());
            if (colored) {
                glDisableClientState(GL_COLOR_ARRAY);
                // The current colour after the arrays, as after the last vertex.
                color(perCorner ? colors_.back() : colors_[corners_.back()]);
            }
            glDisableClientState(GL_NORMAL_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }
    }
    lightsOff();
}

void SceneRenderer::drawGridPoints(const SceneInput& c) {
    if (c.potential == nullptr) return;
    const PotentialGrid& g = *c.potential;
    if (g.values.size() != static_cast<std::size_t>(g.nx) * g.ny * g.nz) return;
    const float lo = c.minPot, hi = c.maxPot;
    lightsOff();
    glPointSize(2.5f);
    glBegin(GL_POINTS);
    for (int i = 0; i < g.nx; i += 5)
        for (int j = 0; j < g.ny; j += 5)
            for (int k = 0; k < g.nz; k += 5) {
                const float v = g.at(i, j, k);
                if (std::fabs(v) > lo) {
                    float t = (std::fabs(v) - lo) / (hi - lo);
                    if (t > 1.0f) t = 1.0f;
                    color(v <= 0.0f ? redRamp(t) : blueRamp(t));
                    vertex(nodePosition(g.origin, g.delta, i, j, k));
                }
                glColor3f(1.0f, 1.0f, 1.0f);
            }
    glEnd();
    glPointSize(1.0f);
    lightsOff();
}

void SceneRenderer::drawGradient(const SceneInput& c) {
    if (c.gradient == nullptr) return;
    const GradientGrid& g = *c.gradient;
    if (!g.ready || g.vectors.size() != static_cast<std::size_t>(g.nx) * g.ny * g.nz || g.vectors.empty()) return;
    const float lo = c.lowerG, hi = c.upperG, halt = c.haltGradient;
    lightsOff();
    glPointSize(1.0f);
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    auto node = [&](int i, int j, int k) {
        const Vec3 v = g.at(i, j, k);
        const float m = length(v);
        if (!(lo <= m && m < hi)) return;
        const Vec3 p = nodePosition(g.origin, g.delta, i, j, k);
        glColor3f(0.8f, 0.8f, 0.8f);
        vertex(p);
        if (m < halt)
            glColor3f(0.7f, 0.4f, 0.1f);
        else
            glColor3f(0.5f, 0.7f, 0.1f);
        vertex(p + 2.0f * v);
    };
    if (c.slice) {
        // One full slice across the first axis; a slice outside the grid shows nothing.
        if (c.sliceNum >= 0 && c.sliceNum < g.nx)
            for (int j = 0; j < g.ny; ++j)
                for (int k = 0; k < g.nz; ++k) node(c.sliceNum, j, k);
    } else {
        for (int i = 0; i < g.nx; i += 5)
            for (int j = 0; j < g.ny; j += 5)
                for (int k = 0; k < g.nz; k += 5) node(i, j, k);
    }
    glEnd();
    glPointSize(1.0f);
    glLineWidth(1.0f);
    lightsOff();
}

void SceneRenderer::drawLines(const SceneInput& c) {
    if (!c.linesReady || c.gradient == nullptr) return;
    lightsOff();
    glPointSize(1.0f);
    glLineWidth(2.5f);
    const GradientGrid& g = *c.gradient;
    const Vec3 p = nodePosition(g.origin, g.delta, c.probeX, c.probeY, c.probeZ);
    glBegin(GL_LINES);
    glColor3f(0.8f, 0.5f, 0.5f);
    vertex(p - Vec3{5, 0, 0});
    glColor3f(0.8f, 0.1f, 0.1f);
    vertex(p + Vec3{5, 0, 0});
    glColor3f(0.5f, 0.8f, 0.5f);
    vertex(p + Vec3{0, 5, 0});
    glColor3f(0.1f, 0.8f, 0.1f);
    vertex(p - Vec3{0, 5, 0});
    glColor3f(0.5f, 0.5f, 0.8f);
    vertex(p + Vec3{0, 0, 5});
    glColor3f(0.1f, 0.1f, 0.8f);
    vertex(p - Vec3{0, 0, 5});
    glEnd();
    glColor3f(0.9f, 0.7f, 0.6f);
    glBegin(GL_LINE_STRIP);
    if (c.probeLine)
        for (const Vec3& q : *c.probeLine) vertex(q);
    glEnd();
    glColor3f(0.9f, 0.6f, 0.5f);
    if (c.fieldLines)
        for (const FieldLine& line : *c.fieldLines) {
            glBegin(GL_LINE_STRIP);
            for (const Vec3& q : line) vertex(q);
            glEnd();
        }
    glPointSize(1.0f);
    glLineWidth(1.0f);
    lightsOff();
}

void SceneRenderer::drawDecorations(const SceneInput& c) {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColor3f(0.9f, 0.9f, 0.2f);
    glBegin(GL_TRIANGLES);
    for (const SceneTriangle& t : c.decorations) {
        normal(t.normal);
        for (const Vec3& p : t.corners) vertex(p);
    }
    glEnd();
    lightsOff();
}

void SceneRenderer::drawOffsetSurfaces(const SceneInput& c) {
    const float lo = c.lower, hi = c.upper, rlo = c.lowerRamp, rhi = c.upperRamp;
    glPointSize(1.0f);
    glDisable(GL_LIGHTING);
    glBegin(GL_POINTS);
    for (const SceneSurface& m : c.offsets)
        for (std::size_t i = 0; i < m.vertices.size(); ++i) {
            if (m.vertexHidden(i)) continue;
            const float q = i < m.values.size() ? m.values[i] : 0.0f;
            const float a = std::fabs(q);
            if (!(lo < a && a < hi)) continue;
            float t = (a - rlo) / (rhi - rlo);
            if (t > 1.0f) t = 1.0f;
            color(q <= 0.0f ? redRamp(t) : blueRamp(t));
            vertex(m.vertices[i].pos);
        }
    glEnd();
}

template <typename T> void SceneSignature::add(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* p = reinterpret_cast<const unsigned char*>(&v);
    bytes_.insert(bytes_.end(), p, p + sizeof(T));
}

template <typename T> void SceneSignature::addArray(const T* data, std::size_t n) {
    add(n);
    if (n == 0) return;
    const std::size_t at = bytes_.size();
    bytes_.resize(at + n * sizeof(T));
    std::memcpy(bytes_.data() + at, data, n * sizeof(T));
}

void SceneSignature::addSurface(const SceneSurface& s, bool values) {
    add(s.vertices.data());
    add(s.vertices.size());
    add(s.faces.data());
    add(s.faces.size());
    if (values) addArray(s.values.data(), s.values.size());
    // vector<bool> has no array to copy; its flags go one byte each.
    add(s.hiddenVertices.size());
    for (const bool b : s.hiddenVertices) add(b);
    add(s.hiddenFaces.size());
    for (const bool b : s.hiddenFaces) add(b);
}

void SceneSignature::addSurfaceLayer(const SceneInput& c) {
    add(c.boxMin);
    add(c.boxMax);
    add(c.zoom);
    add(c.meshSolid);
    if (c.meshSolid) {
        addSurface(c.surface, c.surfaceColor); // the values colour it only when asked
        add(c.surfaceColor);
        add(c.showFacePower);
        add(c.vertexArrays);
        if (c.surfaceColor) {
            add(c.minPot);
            add(c.maxPot);
        }
        if (c.showFacePower) {
            add(c.facePowerMin);
            add(c.facePowerMax);
        }
    }
}

SceneSignature SceneSignature::surfaceLayer(const SceneInput& in, const std::array<double, 16>& modelview,
                                            const std::array<double, 16>& projection,
                                            const std::array<int, 4>& viewport) {
    SceneSignature s;
    s.addSurfaceLayer(in);
    s.add(modelview);
    s.add(projection);
    s.add(viewport);
    return s;
}

SceneSignature::SceneSignature(const SceneInput& c) {
    // Each layer as renderFrame decides to draw it, with what that layer reads.
    addSurfaceLayer(c);
    const bool grid = c.drawGrid && c.potential != nullptr && c.potential->loaded;
    add(grid);
    if (grid) {
        const PotentialGrid& g = *c.potential;
        add(g.values.data());
        add(g.values.size());
        add(g.nx), add(g.ny), add(g.nz);
        add(g.origin), add(g.delta);
        add(c.minPot), add(c.maxPot);
    }
    add(c.drawGradient);
    if (c.drawGradient && c.gradient != nullptr) {
        const GradientGrid& g = *c.gradient;
        add(g.ready);
        add(g.vectors.data());
        add(g.vectors.size());
        add(g.nx), add(g.ny), add(g.nz);
        add(g.origin), add(g.delta);
        add(c.lowerG), add(c.upperG), add(c.haltGradient);
        add(c.slice), add(c.sliceNum);
    }
    add(c.showLines);
    if (c.showLines) {
        add(c.linesReady);
        add(c.gradient);
        if (c.gradient != nullptr) add(c.gradient->origin), add(c.gradient->delta);
        add(c.probeX), add(c.probeY), add(c.probeZ);
        add(c.probeLine);
        if (c.probeLine) add(c.probeLine->points.data()), add(c.probeLine->size());
        add(c.fieldLines);
        if (c.fieldLines) {
            add(c.fieldLines->data());
            add(c.fieldLines->size());
            for (const FieldLine& l : *c.fieldLines) add(l.points.data()), add(l.size());
        }
    }
    add(c.showDecorations);
    if (c.showDecorations) addArray(c.decorations.data(), c.decorations.size());
    add(c.showOffsets);
    if (c.showOffsets) {
        for (const SceneSurface& s : c.offsets) addSurface(s, true);
        add(c.lower), add(c.upper), add(c.lowerRamp), add(c.upperRamp);
    }
}

namespace {

// The image-copy functions of the current context, when it has them.
QOpenGLExtraFunctions* copyFunctions() {
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    if (ctx == nullptr) return nullptr;
    const bool copies = ctx->format().version() >= qMakePair(4, 3) || ctx->hasExtension("GL_ARB_copy_image");
    return copies ? ctx->extraFunctions() : nullptr;
}

// An image attached to the bound draw framebuffer, as glCopyImageSubData names it.
struct Image {
    GLuint name = 0;
    GLenum target = 0;
};

// The colour and depth images of the bound draw framebuffer; false for the
// window's own framebuffer or images of another kind than a renderbuffer or
// a 2-D texture's first level.
bool boundImages(QOpenGLExtraFunctions* f, Image& color, Image& depth) {
    GLint bound = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    if (bound == 0) return false;
    for (auto [attachment, image] : {std::pair{GLenum(GL_COLOR_ATTACHMENT0), &color},
                                     std::pair{GLenum(GL_DEPTH_ATTACHMENT), &depth}}) {
        GLint type = 0, name = 0, level = 0, face = 0;
        f->glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                                 &type);
        f->glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                                 &name);
        if (type == GL_RENDERBUFFER) {
            *image = {static_cast<GLuint>(name), GL_RENDERBUFFER};
        } else if (type == GL_TEXTURE) {
            f->glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                                     GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_LEVEL, &level);
            f->glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                                     GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_CUBE_MAP_FACE, &face);
            if (level != 0 || face != 0) return false;
            *image = {static_cast<GLuint>(name), GL_TEXTURE_2D};
        } else {
            return false;
        }
    }
    return true;
}

// Copies the viewport's rectangle between colour and depth images, byte for
// byte (no conversion, unlike a blit, which may pass depths through floats).
bool copyImages(QOpenGLExtraFunctions* f, Image fromColor, Image fromDepth, Image toColor, Image toDepth,
                const std::array<int, 4>& from, const std::array<int, 4>& to) {
    glGetError(); // the check below is about the copies alone
    f->glCopyImageSubData(fromColor.name, fromColor.target, 0, from[0], from[1], 0, toColor.name, toColor.target, 0,
                          to[0], to[1], 0, from[2], from[3], 1);
    f->glCopyImageSubData(fromDepth.name, fromDepth.target, 0, from[0], from[1], 0, toDepth.name, toDepth.target, 0,
                          to[0], to[1], 0, from[2], from[3], 1);
    return glGetError() == GL_NO_ERROR;
}

} // namespace

bool SceneRenderer::restoreSurface(const SceneSignature& key, const std::array<int, 4>& viewport) {
    if (kept_.context != QOpenGLContext::currentContext() || !kept_.shows || !(*kept_.shows == key) ||
        kept_.width != viewport[2] || kept_.height != viewport[3])
        return false;
    QOpenGLExtraFunctions* f = copyFunctions();
    Image color, depth;
    if (f == nullptr || !boundImages(f, color, depth)) return false;
    if (!copyImages(f, {kept_.color, GL_RENDERBUFFER}, {kept_.depth, GL_RENDERBUFFER}, color, depth,
                    {0, 0, kept_.width, kept_.height}, viewport)) {
        kept_.unavailable = true;
        kept_.shows.reset();
        return false;
    }
    // The state drawSurface leaves: colour material on, following the
    // current colour, lights off.
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4fv(kept_.currentColor.data());
    lightsOff();
    return true;
}

void SceneRenderer::keepSurface(SceneSignature key, const std::array<int, 4>& viewport) {
    QOpenGLContext* ctx = QOpenGLContext::currentContext();
    if (kept_.context != ctx) { // the old context's objects went with it
        kept_ = KeptSurface{};
        kept_.context = ctx;
    }
    kept_.shows.reset();
    QOpenGLExtraFunctions* f = copyFunctions();
    Image color, depth;
    if (f == nullptr || kept_.unavailable || !boundImages(f, color, depth)) return;
    const int w = viewport[2], h = viewport[3];
    if (w <= 0 || h <= 0) return;
    if (kept_.color == 0) {
        f->glGenRenderbuffers(1, &kept_.color);
        f->glGenRenderbuffers(1, &kept_.depth);
    }
    if (kept_.width != w || kept_.height != h) {
        // The formats of the panel's framebuffer (an image copy needs the same).
        GLint bound = 0;
        glGetIntegerv(GL_RENDERBUFFER_BINDING, &bound);
        f->glBindRenderbuffer(GL_RENDERBUFFER, kept_.color);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        f->glBindRenderbuffer(GL_RENDERBUFFER, kept_.depth);
        f->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
        f->glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(bound));
        kept_.width = w;
        kept_.height = h;
    }
    if (!copyImages(f, color, depth, {kept_.color, GL_RENDERBUFFER}, {kept_.depth, GL_RENDERBUFFER}, viewport,
                    {0, 0, w, h})) {
        kept_.unavailable = true;
        return;
    }
    glGetFloatv(GL_CURRENT_COLOR, kept_.currentColor.data());
    kept_.shows = std::move(key);
}

void SceneRenderer::renderFrame(const SceneInput& c, TrackHand& trackball, int64_t nowMs, bool reuseSurface) {
    glClearColor(0.5f, 0.6f, 0.7f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(3.0, 3.0, 3.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

    ViewSample view;
    glGetDoublev(GL_PROJECTION_MATRIX, view.projection.data());
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelview.data());
    glGetIntegerv(GL_VIEWPORT, view.viewport.data());
    glMultMatrixd(trackball.apply(view, nowMs).data());

    const float s = sceneScale(c.boxMin, c.boxMax, c.zoom);
    glScalef(s, s, s);
    const Vec3 centre = (c.boxMin + c.boxMax) * 0.5f;
    glTranslatef(-centre.x, -centre.y, -centre.z);

    if (c.meshSolid) {
        std::optional<SceneSignature> key;
        if (reuseSurface) {
            std::array<double, 16> modelview{};
            glGetDoublev(GL_MODELVIEW_MATRIX, modelview.data());
            key = SceneSignature::surfaceLayer(c, modelview, view.projection, view.viewport);
        }
        if (!key || !restoreSurface(*key, view.viewport)) {
            drawSurface(c);
            if (key) keepSurface(std::move(*key), view.viewport);
        }
    }
    if (c.drawGrid && c.potential != nullptr && c.potential->loaded) drawGridPoints(c);
    if (c.drawGradient) drawGradient(c);
    if (c.showLines) drawLines(c);
    if (c.showDecorations) drawDecorations(c);
    if (c.showOffsets) drawOffsetSurfaces(c);
    glFlush();
}

} // namespace quorax
