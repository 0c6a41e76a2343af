#include "surface_index.h"

#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/AABB_triangle_primitive.h>
#include <CGAL/Simple_cartesian.h>

#include <limits>
#include <optional>
#include <vector>

namespace quorax {
namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Triangle = Kernel::Triangle_3;
using Primitive = CGAL::AABB_triangle_primitive<Kernel, std::vector<Triangle>::const_iterator>;
using Traits = CGAL::AABB_traits<Kernel, Primitive>;

Kernel::Point_3 point(Vec3 v) { return {v.x, v.y, v.z}; }

} // namespace

struct SurfaceIndex::Tree {
    std::vector<Triangle> triangles; // the tree refers to these
    CGAL::AABB_tree<Traits> tree;
};

SurfaceIndex::SurfaceIndex(const TriMesh& mesh) : tree_(std::make_unique<Tree>()) {
    tree_->triangles.reserve(mesh.faces.size());
    for (const MeshFace& f : mesh.faces) {
        Vec3 p0, p1, p2;
        facePositions(mesh, f, p0, p1, p2);
        if (!isFinite(p0) || !isFinite(p1) || !isFinite(p2)) continue;
        const Triangle t(point(p0), point(p1), point(p2));
        if (!t.is_degenerate()) tree_->triangles.push_back(t);
    }
    tree_->tree.insert(tree_->triangles.begin(), tree_->triangles.end());
    tree_->tree.build();
}

SurfaceIndex::~SurfaceIndex() = default;

std::size_t SurfaceIndex::faceCount() const { return tree_->triangles.size(); }

bool SurfaceIndex::firstCrossing(Vec3 a, Vec3 b, Vec3& hit) const {
    if (tree_->triangles.empty() || a == b) return false;
    const Kernel::Segment_3 segment(point(a), point(b));
    if (!tree_->tree.do_intersect(segment)) return false;
    std::vector<Traits::Intersection_and_primitive_id<Kernel::Segment_3>::Type> found;
    tree_->tree.all_intersections(segment, std::back_inserter(found));
    double best = std::numeric_limits<double>::infinity();
    const Kernel::Point_3 from = point(a);
    for (const auto& item : found) {
        Kernel::Point_3 p;
        if (const auto* q = boost::get<Kernel::Point_3>(&item.first)) {
            p = *q;
        } else if (const auto* s = boost::get<Kernel::Segment_3>(&item.first)) {
            // The segment lies in the face's plane: its nearer end touches first.
            p = CGAL::squared_distance(from, s->source()) <= CGAL::squared_distance(from, s->target()) ? s->source()
                                                                                                        : s->target();
        } else {
            continue;
        }
        const double d = CGAL::squared_distance(from, p);
        if (d < best) {
            best = d;
            hit = {static_cast<float>(p.x()), static_cast<float>(p.y()), static_cast<float>(p.z())};
        }
    }
    return best < std::numeric_limits<double>::infinity();
}

std::size_t SurfaceIndex::crossingCount(Vec3 a, Vec3 b) const {
    if (tree_->triangles.empty() || a == b) return 0;
    return tree_->tree.number_of_intersected_primitives(Kernel::Segment_3(point(a), point(b)));
}

} // namespace quorax
