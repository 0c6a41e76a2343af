#!/usr/bin/python3
"""Sanity checks for the bundled example (APBS potential + PyMOL surface).

Checks, failing with exit status 1 if any does not hold:
  * the DX file is a regular 3-D grid with a diagonal delta and exactly
    counts[0]*counts[1]*counts[2] values;
  * every OBJ vertex lies inside the DX grid box [origin, origin+(n-1)*delta],
    at least MIN_MARGIN grid spacings away from every face (so derivatives of
    the potential near the surface never need points outside the grid);
  * the surface is in the molecule's frame: its area-weighted centroid is near
    the atom centroid of the PQR, and the vertices sit on the atoms' van der
    Waals spheres or within about one probe radius of them (a surface left in
    PyMOL's view-relative frame fails this by tens of Angstrom).
Prints the grid header, potential range, mesh counts and the margins.

Usage: check_example.py FILE.dx FILE.obj FILE.pqr [--min-margin SPACINGS]
"""
import sys

import numpy as np


class CheckError(Exception):
    pass


def read_dx(path):
    """Return (counts, origin, spacing, values) of an OpenDX regular grid."""
    counts = origin = None
    deltas = []
    values = []
    n_items = None
    in_data = False
    with open(path) as fh:
        for line in fh:
            s = line.strip()
            if not s or s.startswith("#"):
                continue
            if in_data:
                if s[0].isalpha():          # 'attribute' / 'object' after data
                    in_data = False
                else:
                    values.extend(float(t) for t in s.split())
                    continue
            w = s.split()
            if w[0] == "object" and "gridpositions" in w:
                counts = [int(t) for t in w[w.index("counts") + 1:][:3]]
            elif w[0] == "origin":
                origin = [float(t) for t in w[1:4]]
            elif w[0] == "delta":
                deltas.append([float(t) for t in w[1:4]])
            elif w[0] == "object" and "array" in w:
                n_items = int(w[w.index("items") + 1])
                in_data = "follows" in w
    if counts is None or origin is None or len(deltas) != 3 or n_items is None:
        raise CheckError(f"{path}: incomplete DX header")
    for i in range(3):
        for j in range(3):
            if i != j and deltas[i][j] != 0.0:
                raise CheckError(f"{path}: delta is not diagonal: {deltas}")
        if deltas[i][i] <= 0.0:
            raise CheckError(f"{path}: non-positive spacing on axis {i}")
    n = counts[0] * counts[1] * counts[2]
    if n_items != n or len(values) != n:
        raise CheckError(f"{path}: counts give {n} points, header says {n_items}, "
                         f"file holds {len(values)} values")
    return counts, origin, [deltas[i][i] for i in range(3)], values


def read_obj(path):
    """Return (vertices Nx3, faces Mx3 zero-based vertex indices, n_normals)."""
    verts, faces, n_normals = [], [], 0
    with open(path) as fh:
        for line in fh:
            if line.startswith("v "):
                verts.append([float(t) for t in line.split()[1:4]])
            elif line.startswith("vn "):
                n_normals += 1
            elif line.startswith("f "):
                idx = [int(t.split("/")[0]) for t in line.split()[1:]]
                if len(idx) != 3:
                    raise CheckError(f"{path}: non-triangle face: {line.strip()}")
                faces.append([i - 1 if i > 0 else len(verts) + i for i in idx])
    v = np.array(verts, dtype=float).reshape(-1, 3)
    f = np.array(faces, dtype=int).reshape(-1, 3)
    if len(f) and (f.min() < 0 or f.max() >= len(v)):
        raise CheckError(f"{path}: face index out of range")
    return v, f, n_normals


def read_pqr(path):
    """Return (positions Nx3, radii N, total charge) of ATOM/HETATM records."""
    pos, rad, charge = [], [], 0.0
    with open(path) as fh:
        for line in fh:
            if line.startswith(("ATOM", "HETATM")):
                # Whitespace-separated from x on: x y z charge radius.
                t = line[30:].split()
                pos.append([float(t[0]), float(t[1]), float(t[2])])
                charge += float(t[3])
                rad.append(float(t[4]))
    return np.array(pos), np.array(rad), charge


def grid_margins(verts, origin, spacing, counts):
    """Distances (Angstrom) from the vertex bounding box to the six faces of
    the grid box, as ((low_x, high_x), (low_y, high_y), (low_z, high_z)).
    Negative means a vertex is outside."""
    lo, hi = verts.min(axis=0), verts.max(axis=0)
    return [(lo[i] - origin[i], origin[i] + (counts[i] - 1) * spacing[i] - hi[i])
            for i in range(3)]


def surface_centroid(verts, faces):
    a, b, c = verts[faces[:, 0]], verts[faces[:, 1]], verts[faces[:, 2]]
    area = 0.5 * np.linalg.norm(np.cross(b - a, c - a), axis=1)
    return ((a + b + c) / 3.0 * area[:, None]).sum(axis=0) / area.sum(), area.sum()


def gap_to_atoms(points, atoms, radii, chunk=2000):
    """For each point, min over atoms of |p - a| - r: 0 on a van der Waals
    sphere, positive outside, negative inside."""
    out = np.empty(len(points))
    for s in range(0, len(points), chunk):
        p = points[s:s + chunk]
        d = np.linalg.norm(p[:, None, :] - atoms[None, :, :], axis=2) - radii[None, :]
        out[s:s + chunk] = d.min(axis=1)
    return out


def sample_trilinear(values, counts, origin, spacing, points):
    """Trilinear interpolation of the grid at points inside the box.
    DX data are ordered with z fastest, then y, then x."""
    g = np.asarray(values).reshape(counts)
    f = (points - np.asarray(origin)) / np.asarray(spacing)
    i0 = np.clip(np.floor(f).astype(int), 0, np.asarray(counts) - 2)
    t = f - i0
    out = np.zeros(len(points))
    for dx in (0, 1):
        for dy in (0, 1):
            for dz in (0, 1):
                w = ((t[:, 0] if dx else 1 - t[:, 0]) * (t[:, 1] if dy else 1 - t[:, 1])
                     * (t[:, 2] if dz else 1 - t[:, 2]))
                out += w * g[i0[:, 0] + dx, i0[:, 1] + dy, i0[:, 2] + dz]
    return out


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    min_margin = 3.0
    for a in argv[1:]:
        if a.startswith("--min-margin="):
            min_margin = float(a.split("=", 1)[1])
    if len(args) != 3:
        sys.stderr.write(__doc__)
        return 2
    dx_path, obj_path, pqr_path = args
    failures = []
    try:
        counts, origin, spacing, values = read_dx(dx_path)
        verts, faces, n_normals = read_obj(obj_path)
        atoms, radii, charge = read_pqr(pqr_path)
    except (CheckError, ValueError, OSError) as e:
        print(f"FAIL: {e}")
        return 1

    top = [origin[i] + (counts[i] - 1) * spacing[i] for i in range(3)]
    print(f"DX  {dx_path}")
    print(f"    counts  {counts[0]} {counts[1]} {counts[2]}")
    print(f"    origin  {origin[0]:.6f} {origin[1]:.6f} {origin[2]:.6f}")
    print(f"    spacing {spacing[0]:.6f} {spacing[1]:.6f} {spacing[2]:.6f}")
    print(f"    box top {top[0]:.6f} {top[1]:.6f} {top[2]:.6f}")
    print(f"    potential min {min(values):.6e}  max {max(values):.6e} (file units)")
    uniq = len(np.unique(verts, axis=0)) if len(verts) else 0
    print(f"OBJ {obj_path}")
    print(f"    {len(verts)} v lines ({uniq} distinct positions), "
          f"{n_normals} vn lines, {len(faces)} triangles")
    print(f"PQR {pqr_path}: {len(atoms)} atoms, net charge {charge:+.3f} e")
    if len(verts) == 0 or len(faces) == 0:
        print("FAIL: OBJ has no vertices or no faces")
        return 1

    print(f"Margins, surface to grid faces (need >= {min_margin:g} spacings):")
    outside = np.any((verts < np.array(origin)) | (verts > np.array(top)), axis=1)
    for i, (lo, hi) in enumerate(grid_margins(verts, origin, spacing, counts)):
        for side, m in (("low ", lo), ("high", hi)):
            n_sp = m / spacing[i]
            flag = "ok" if n_sp >= min_margin else "TOO SMALL"
            print(f"    {'xyz'[i]} {side} {m:8.3f} A = {n_sp:6.2f} spacings  {flag}")
            if n_sp < min_margin:
                failures.append(f"{'xyz'[i]} {side.strip()} margin {n_sp:.2f} spacings")
    if outside.any():
        failures.append(f"{int(outside.sum())} vertices lie OUTSIDE the DX grid box")

    sc, area = surface_centroid(verts, faces)
    ac = atoms.mean(axis=0)
    off = float(np.linalg.norm(sc - ac))
    print(f"Surface area {area:.1f} A^2, area-weighted centroid "
          f"({sc[0]:.3f}, {sc[1]:.3f}, {sc[2]:.3f})")
    print(f"Atom centroid ({ac[0]:.3f}, {ac[1]:.3f}, {ac[2]:.3f}); offset {off:.3f} A")
    if off > 3.0:
        failures.append(f"surface centroid is {off:.2f} A from the atom centroid")

    gap = gap_to_atoms(np.unique(verts, axis=0), atoms, radii)
    print(f"Vertex gap to nearest vdW sphere: min {gap.min():.3f}  "
          f"median {np.median(gap):.3f}  max {gap.max():.3f} A")
    # A solvent-excluded surface lies on the vdW spheres or, in crevices, on a
    # 1.4 A probe touching them; allow some slack for the coarse mesh.
    if gap.min() < -1.0 or gap.max() > 3.0 or abs(float(np.median(gap))) > 0.5:
        failures.append("vertices do not sit on the molecule's surface "
                        "(wrong frame or wrong molecule?)")

    if not outside.any():
        phi = sample_trilinear(values, counts, origin, spacing, np.unique(verts, axis=0))
        p = np.percentile(phi, [0, 5, 50, 95, 100])
        print("Potential at the vertices (trilinear): min %.3f  p5 %.3f  median %.3f"
              "  p95 %.3f  max %.3f" % tuple(p))

    if failures:
        for f in failures:
            print(f"FAIL: {f}")
        return 1
    print("OK: surface lies inside the grid, in the molecule's frame")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
