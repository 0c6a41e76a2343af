// The viewer's frame: fixed-function OpenGL state, projection, camera and the
// six scene layers. Everything here runs with a compatibility-profile context
// current and reads only the plain data of a SceneInput, which the window
// builds from its own state for every frame.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "field_line.h"
#include "grid.h"
#include "mesh.h"
#include "trackball.h"

namespace quorax {

// A surface as the frame sees it: the vertices and faces of a core mesh (not
// owned), one value per vertex, and the vertices and faces not to draw.
struct SceneSurface {
    std::span<const MeshVertex> vertices;
    std::span<const MeshFace> faces;
    std::vector<float> values;        // per vertex; colours the surface or the point cloud
    std::vector<bool> hiddenVertices; // empty: none hidden
    std::vector<bool> hiddenFaces;    // empty: none hidden

    bool vertexHidden(std::size_t i) const { return i < hiddenVertices.size() && hiddenVertices[i]; }
    bool faceHidden(std::size_t i) const { return i < hiddenFaces.size() && hiddenFaces[i]; }
};

// One lit triangle of the decorations, with the normal it is drawn with.
struct SceneTriangle {
    Vec3 normal;
    std::array<Vec3, 3> corners;
};

// Everything one frame draws, and the switches and limits of its layers.
struct SceneInput {
    SceneSurface surface;                     // the main model
    Vec3 boxMin = {1, 1, 1}, boxMax = {-1, -1, -1}; // the box the view fits
    float zoom = 1.0f;                        // divisor of the fitting scale
    float facePowerMin = 0.0f, facePowerMax = 0.0f; // range of the face colours
    std::array<SceneSurface, 4> offsets;      // offset surfaces, drawn as point clouds
    const PotentialGrid* potential = nullptr; // grid points (not owned)
    const GradientGrid* gradient = nullptr;   // gradient vectors, and the probe's node spacing
    const FieldLine* probeLine = nullptr;
    const std::vector<FieldLine>* fieldLines = nullptr;
    bool linesReady = false;                  // probeLine and fieldLines hold a result
    std::vector<SceneTriangle> decorations;   // arrow heads along the lines

    bool meshSolid = true;       // surface drawn ("solid"), or hidden
    bool drawGrid = true;        // grid points
    bool drawGradient = false;   // gradient vectors
    bool showLines = false;      // probe cross, probe line and field lines
    bool showDecorations = false;
    bool showOffsets = false;    // offset surfaces as point clouds
    bool surfaceColor = false;   // colour the surface by its values
    bool showFacePower = false;  // colour the faces by their power
    float minPot = 5.0f, maxPot = 15.0f;          // ramp of the surface and the grid points
    float lowerG = 0.1f, upperG = 1000.0f;         // gradient lengths shown
    float haltGradient = 0.0f;                     // gradient tips below it are drawn orange
    bool slice = false;                            // gradient of one x slice at full density
    int sliceNum = 10;
    int probeX = 10, probeY = 10, probeZ = 10;     // node of the probe cross
    float lower = 5.0f, upper = 15.0f;             // offset values shown
    float lowerRamp = 5.0f, upperRamp = 15.0f;     // ramp of the offset values
    bool vertexArrays = true; // surface through client-side vertex arrays (the same picture as immediate mode)
};

// What the picture of a frame depends on, short of the contents of the
// arrays the frame reads in place: the box, the zoom, every switch and limit
// of the layers that are on, the addresses and sizes of those layers' arrays,
// and the per-frame copies (surface values, hidden flags, decorations) in
// full. Two inputs with equal signatures, drawn in a panel of the same size
// with the same camera, give the same picture unless an array was changed in
// place with its address and size kept. The window's automatic run uses it to
// leave out frames of stages that changed nothing drawn.
class SceneSignature {
  public:
    SceneSignature() = default;
    explicit SceneSignature(const SceneInput& in);
    // The surface layer alone (what drawSurface reads and draws with), seen
    // through the given model-view and projection matrices and viewport.
    static SceneSignature surfaceLayer(const SceneInput& in, const std::array<double, 16>& modelview,
                                       const std::array<double, 16>& projection, const std::array<int, 4>& viewport);
    bool operator==(const SceneSignature& o) const = default;

  private:
    std::vector<unsigned char> bytes_;
    template <typename T> void add(const T& v);
    template <typename T> void addArray(const T* data, std::size_t n);
    void addSurface(const SceneSurface& s, bool values);
    void addSurfaceLayer(const SceneInput& in);
};

// GL state set once when the context exists: clear colour, material, light 0,
// depth test, back-face culling, normalisation of normals, blend function.
void setupGlState();

// Viewport and a perspective for a panel of width × height pixels, with the
// panel's own aspect (width over height), so a sphere stays round in any
// panel. The field of view is 30° across the panel's shorter side.
void setupProjection(int width, int height);
double projectionAspect(double width, double height);
double verticalFieldOfView(double width, double height);

// Scale that fits a bounding box into the view: (2 / diagonal) / zoom.
float sceneScale(Vec3 boxMin, Vec3 boxMax, float zoom);

// Colour ramps: white at t = 0, red (negative values) or blue (positive) at t = 1.
inline Vec3 redRamp(float t) { return {1.0f, 1.0f - t, 1.0f - t}; }
inline Vec3 blueRamp(float t) { return {1.0f - t, 1.0f - t, 1.0f}; }

// Colour of a surface vertex with value q under ramp limits lo, hi.
Vec3 surfaceValueColor(float q, float lo, float hi);

// Draws frames. Owns the buffers the surface's vertex arrays are built in, so
// that after the first frames a frame allocates nothing; one per GL context.
class SceneRenderer {
  public:
    // One frame (without swapping): background, camera from (3, 3, 3), the
    // trackball, the normalisation to the input's box, then the layers in order.
    // `reuseSurface`: the picture and depths of the background and the surface
    // layer are kept after drawing, and a frame whose surface layer, camera
    // and viewport are those kept copies them back instead of drawing the
    // surface again; the other layers are drawn on them as on a drawn
    // surface. Only for a caller that knows the surface's arrays were not
    // changed in place since (see SceneSignature).
    void renderFrame(const SceneInput& in, TrackHand& trackball, int64_t nowMs, bool reuseSurface = false);
    // Forgets the kept surface layer: its GL objects went with the context
    // they were made in. Called when the panel gets a new context.
    void contextCreated() { kept_ = KeptSurface{}; }

    // The layers, each drawn only when its switch holds (renderFrame checks them).
    void drawSurface(const SceneInput& in);
    static void drawGridPoints(const SceneInput& in);
    static void drawGradient(const SceneInput& in);
    static void drawLines(const SceneInput& in);
    static void drawDecorations(const SceneInput& in);
    static void drawOffsetSurfaces(const SceneInput& in);

  private:
    // The kept surface layer: colour and depth images of the viewport's
    // size, what they show, and the current colour drawSurface left (the
    // colour material follows it). Its GL objects belong to the context they
    // were made in and go with it.
    struct KeptSurface {
        const void* context = nullptr;
        unsigned color = 0, depth = 0; // renderbuffers
        int width = 0, height = 0;
        std::optional<SceneSignature> shows;
        std::array<float, 4> currentColor{};
        bool unavailable = false; // no exact image copies in this context
    };
    // Copies the kept surface layer into the bound framebuffer when it shows
    // `key`; false when it does not (or cannot).
    bool restoreSurface(const SceneSignature& key, const std::array<int, 4>& viewport);
    // Keeps the bound framebuffer's picture and depths as showing `key`.
    void keepSurface(SceneSignature key, const std::array<int, 4>& viewport);

    KeptSurface kept_;
    std::vector<uint32_t> corners_;  // vertex index of every drawn corner
    std::vector<Vec3> cornerPos_;    // per-corner copies for face colours
    std::vector<Vec3> cornerNrm_;
    std::vector<Vec3> colors_;       // per vertex, or per corner
};

} // namespace quorax
