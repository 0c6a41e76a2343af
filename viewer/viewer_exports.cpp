#include "viewer_exports.h"

#include "tubes.h"

namespace quorax {

std::optional<ViewerExport> viewerExportFor(const std::string& path, ExportKind filterKind, std::string& error) {
    if (const auto f = exportFormatFor(filterKind, path)) return ViewerExport{filterKind, *f};
    std::optional<ViewerExport> only;
    int kinds = 0;
    for (ExportKind k : {ExportKind::Lines, ExportKind::Tubes, ExportKind::Surface})
        if (const auto f = exportFormatFor(k, path)) {
            only = ViewerExport{k, *f};
            ++kinds;
        }
    if (kinds == 1) return only;
    error = "unknown file extension; accepted: lines " + acceptedExtensions(ExportKind::Lines) + ", tubes " +
            acceptedExtensions(ExportKind::Tubes) + ", surface " + acceptedExtensions(ExportKind::Surface);
    return std::nullopt;
}

bool formatViewerExport(const ViewerState& state, ViewerExport e, float tubeRadius, std::string& content,
                        std::string& error) {
    if (e.kind == ExportKind::Surface) {
        const ViewerMesh& m = state.mesh;
        if (m.vertexCount() == 0) {
            error = "no surface loaded";
            return false;
        }
        TriMesh surface;
        surface.vertices = m.tri.vertices;
        for (int32_t i = 0; i < m.vertexCount(); ++i) surface.vertices[i].potential = m.vertexData[i].electrostatic;
        for (int32_t f = 0; f < m.faceCount(); ++f)
            if (!m.faceDeleted(f)) surface.faces.push_back(m.tri.faces[f]);
        content = formatSurfaceExport(e.format, surface);
        return true;
    }
    std::vector<FieldLine> probe;
    if (state.fieldLines.empty() && state.linesReady && !state.probeLine.empty()) probe = {state.probeLine};
    const std::vector<FieldLine>& lines = state.fieldLines.empty() ? probe : state.fieldLines;
    if (!state.linesReady || lines.empty()) {
        error = "no lines traced yet";
        return false;
    }
    if (e.kind == ExportKind::Tubes) {
        content = formatSolidExport(e.format, buildLineSolids(lines, tubeRadius));
    } else {
        const LineValues values = computeLineValues(lines, {}, state.potentialGrid, state.gradientGrid);
        content = formatLinesExport(e.format, lines, &values);
    }
    return true;
}

} // namespace quorax
