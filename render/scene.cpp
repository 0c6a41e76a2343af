#include "scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "decorations.h"

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
    return width >= height ? width / height : height / width;
}

void setupProjection(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(30.0, projectionAspect(width, height), 0.01, 195000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

float sceneScale(const ViewerMesh& mesh, float zoom) {
    const float d = length(mesh.bboxMax - mesh.bboxMin);
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

void drawSurface(const ViewerState& state, const SceneControls& c) {
    const ViewerMesh& mesh = state.mesh;
    const TriMesh& tri = mesh.tri;
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor3f(0.5f, 0.5f, 0.5f);
    const float powerRange = state.facePowerMax - state.facePowerMin;
    auto faceColor = [&](const MeshFace& f) {
        const float t = (std::fabs(f.power) - state.facePowerMin) / powerRange;
        return Vec3{1.0f - t, 1.0f - t, 1.0f};
    };
    const bool colored = c.showFacePower || c.surfaceColor;
    if (!c.vertexArrays) {
        glBegin(GL_TRIANGLES);
        for (int32_t f = 0; f < tri.faceCount(); ++f) {
            if (mesh.faceDeleted(f)) continue;
            const MeshFace& face = tri.faces[f];
            if (c.showFacePower) color(faceColor(face));
            for (int32_t v : face.v) {
                if (c.surfaceColor) color(surfaceValueColor(mesh.vertexData[v].electrostatic, c.minPot, c.maxPot));
                normal(tri.vertices[v].normal);
                vertex(tri.vertices[v].pos);
            }
        }
        glEnd();
    } else if (!tri.vertices.empty()) {
        // The same triangles, colours and normals, handed over as arrays.
        // Positions and normals are read in place from the mesh's vertices and
        // the corners go by index, so a frame copies no vertex data. Vertex
        // colours depend on the vertex alone and go per vertex; face colours
        // (power without potential) need a copy of every corner. The buffers
        // are kept between frames (one GL thread), so a frame allocates nothing.
        static std::vector<GLuint> corners;
        static std::vector<Vec3> cornerPos, cornerNrm, col;
        corners.clear();
        col.clear();
        for (int32_t f = 0; f < tri.faceCount(); ++f)
            if (!mesh.faceDeleted(f))
                for (int32_t v : tri.faces[f].v) corners.push_back(static_cast<GLuint>(v));
        const Vec3* pos = &tri.vertices[0].pos;
        const Vec3* nrm = &tri.vertices[0].normal;
        GLsizei stride = sizeof(MeshVertex);
        const bool perCorner = c.showFacePower && !c.surfaceColor;
        if (c.surfaceColor) {
            col.reserve(tri.vertices.size());
            for (const ViewerVertexData& d : mesh.vertexData)
                col.push_back(surfaceValueColor(d.electrostatic, c.minPot, c.maxPot));
        } else if (perCorner) {
            cornerPos.clear();
            cornerNrm.clear();
            for (int32_t f = 0; f < tri.faceCount(); ++f) {
                if (mesh.faceDeleted(f)) continue;
                const Vec3 fc = faceColor(tri.faces[f]);
                for (int32_t v : tri.faces[f].v) {
                    cornerPos.push_back(tri.vertices[v].pos);
                    cornerNrm.push_back(tri.vertices[v].normal);
                    col.push_back(fc);
                }
            }
            pos = cornerPos.data();
            nrm = cornerNrm.data();
            stride = sizeof(Vec3);
        }
        if (!corners.empty()) {
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_NORMAL_ARRAY);
            glVertexPointer(3, GL_FLOAT, stride, pos);
            glNormalPointer(GL_FLOAT, stride, nrm);
            if (colored) {
                glEnableClientState(GL_COLOR_ARRAY);
                glColorPointer(3, GL_FLOAT, sizeof(Vec3), col.data());
            }
            const GLsizei n = static_cast<GLsizei>(corners.size());
            if (perCorner)
                glDrawArrays(GL_TRIANGLES, 0, n);
            else
                glDrawElements(GL_TRIANGLES, n, GL_UNSIGNED_INT, corners.data());
            if (colored) {
                glDisableClientState(GL_COLOR_ARRAY);
                // The current colour after the arrays, as after the last vertex.
                color(perCorner ? col.back() : col[corners.back()]);
            }
            glDisableClientState(GL_NORMAL_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
        }
    }
    lightsOff();
}

void drawGridPoints(const ViewerState& state, const SceneControls& c) {
    const PotentialGrid& g = state.potentialGrid;
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

void drawGradient(const ViewerState& state, const SceneControls& c) {
    const GradientGrid& g = state.gradientGrid;
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

void drawLines(const ViewerState& state, const SceneControls& c) {
    if (!state.linesReady) return;
    lightsOff();
    glPointSize(1.0f);
    glLineWidth(2.5f);
    const GradientGrid& g = state.gradientGrid;
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
    for (const Vec3& q : state.probeLine) vertex(q);
    glEnd();
    glColor3f(0.9f, 0.6f, 0.5f);
    for (const FieldLine& line : state.fieldLines) {
        glBegin(GL_LINE_STRIP);
        for (const Vec3& q : line) vertex(q);
        glEnd();
    }
    glPointSize(1.0f);
    glLineWidth(1.0f);
    lightsOff();
}

void drawDecorations(const ViewerState& state) {
    if (!state.decorationsReady) return;
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColor3f(0.9f, 0.9f, 0.2f);
    glBegin(GL_TRIANGLES);
    const std::size_t n = std::min({state.decorationPositions.size(), state.decorationDirections.size(),
                                    state.decorationSizes.size()});
    for (std::size_t k = 0; k < n; ++k) {
        const Pyramid p = pyramidGeometry(state.decorationPositions[k], state.decorationDirections[k],
                                          state.decorationSizes[k]);
        for (int t = 0; t < 6; ++t) {
            // One normal per side; the base's normal, given before its first
            // triangle, holds for both.
            if (t < 5) normal(p.normals[static_cast<std::size_t>(t)]);
            for (int v = 0; v < 3; ++v) vertex(p.corners[static_cast<std::size_t>(3 * t + v)]);
        }
    }
    glEnd();
    lightsOff();
}

void drawOffsetSurfaces(const ViewerState& state, const SceneControls& c) {
    const float lo = c.lower, hi = c.upper, rlo = c.lowerRamp, rhi = c.upperRamp;
    glPointSize(1.0f);
    glDisable(GL_LIGHTING);
    glBegin(GL_POINTS);
    for (const ViewerMesh& m : state.offsetMeshes)
        for (int32_t i = 0; i < m.vertexCount(); ++i) {
            if (m.vertexDeleted(i)) continue;
            const float q = m.vertexData[i].electrostatic;
            const float a = std::fabs(q);
            if (!(lo < a && a < hi)) continue;
            float t = (a - rlo) / (rhi - rlo);
            if (t > 1.0f) t = 1.0f;
            color(q <= 0.0f ? redRamp(t) : blueRamp(t));
            vertex(m.tri.vertices[i].pos);
        }
    glEnd();
}

void renderFrame(const ViewerState& state, const SceneControls& c, TrackHand& trackball, int64_t nowMs) {
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

    const float s = sceneScale(state.mesh, state.zoom);
    glScalef(s, s, s);
    const Vec3 centre = (state.mesh.bboxMin + state.mesh.bboxMax) * 0.5f;
    glTranslatef(-centre.x, -centre.y, -centre.z);

    if (c.meshSolid) drawSurface(state, c);
    if (c.drawGrid && state.potentialGrid.loaded) drawGridPoints(state, c);
    if (c.drawGradient) drawGradient(state, c);
    if (c.showLines) drawLines(state, c);
    if (c.showDecorations) drawDecorations(state);
    if (c.showOffsets) drawOffsetSurfaces(state, c);
    glFlush();
}

} // namespace quorax
