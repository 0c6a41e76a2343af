#!/usr/bin/python3
"""Writes the large synthetic benchmark case: a potential grid of 160³ nodes
(OpenDX text, about 60 MB, values written as APBS writes them) and a bumpy
closed surface of about 400 000 triangles (OBJ, about 95 MB, written as PyMOL
writes surfaces: three "v" and three "vn" lines per triangle, then
"f a//a b//b c//c").

Usage: bench/make_large_case.py OUTDIR [NODES] [FACES]
"""
import math
import os
import sys

import numpy as np


def potential_grid(n, spacing, origin, charges):
    """Screened Coulomb potential of point charges (kT/e-like magnitudes)."""
    ax = origin + spacing * np.arange(n, dtype=np.float64)
    x, y = np.meshgrid(ax, ax, indexing="ij")  # one x-y layer per z value
    out = np.empty((n, n, n), dtype=np.float64)
    for k, z in enumerate(ax):
        layer = np.zeros((n, n))
        for (cx, cy, cz, q) in charges:
            r = np.sqrt((x - cx) ** 2 + (y - cy) ** 2 + (z - cz) ** 2) + 1.0
            layer += q * 400.0 * np.exp(-r / 8.0) / r
        out[:, :, k] = layer
    return out


def write_dx(path, values, spacing, origin):
    n = values.shape[0]
    flat = values.reshape(-1)  # x slowest, z fastest
    with open(path, "w") as f:
        f.write("# Data from a synthetic benchmark case\n#\n# POTENTIAL (kT/e)\n#\n")
        f.write("object 1 class gridpositions counts %d %d %d\n" % (n, n, n))
        f.write("origin %e %e %e\n" % (origin, origin, origin))
        f.write("delta %e 0.000000e+00 0.000000e+00\n" % spacing)
        f.write("delta 0.000000e+00 %e 0.000000e+00\n" % spacing)
        f.write("delta 0.000000e+00 0.000000e+00 %e\n" % spacing)
        f.write("object 2 class gridconnections counts %d %d %d\n" % (n, n, n))
        f.write("object 3 class array type double rank 0 items %d data follows\n" % flat.size)
        full = flat.size // 3 * 3
        rows = flat[:full].reshape(-1, 3)
        chunk = 300000
        for s in range(0, rows.shape[0], chunk):
            block = rows[s:s + chunk]
            f.write("".join("%e %e %e \n" % tuple(r) for r in block))
        if full < flat.size:
            f.write(" ".join("%e" % v for v in flat[full:]) + " \n")
        f.write('attribute "dep" string "positions"\n')
        f.write('object "regular positions regular connections" class field\n')
        f.write('component "positions" value 1\ncomponent "connections" value 2\ncomponent "data" value 3\n')


def surface(faces, radius):
    """A bumpy sphere as a latitude-longitude mesh with about `faces` triangles."""
    nlat = int(round(math.sqrt(faces / 4.0)))
    nlon = 2 * nlat
    theta = np.linspace(0.0, math.pi, nlat + 1)
    phi = np.linspace(0.0, 2.0 * math.pi, nlon + 1)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    r = radius * (1.0 + 0.08 * np.sin(5 * t) * np.cos(4 * p) + 0.04 * np.cos(9 * t))
    pts = np.stack([r * np.sin(t) * np.cos(p), r * np.sin(t) * np.sin(p), r * np.cos(t)], axis=-1)
    tris = []
    for a in range(nlat):
        for b in range(nlon):
            p00, p01, p10, p11 = pts[a, b], pts[a, b + 1], pts[a + 1, b], pts[a + 1, b + 1]
            # The first row touches the north pole with p00 = p01, the last
            # the south pole with p10 = p11: leave out the degenerate halves.
            if a < nlat - 1:
                tris.append((p00, p10, p11))
            if a > 0:
                tris.append((p00, p11, p01))
    return np.array(tris)


def write_obj(path, tris):
    e1 = tris[:, 1] - tris[:, 0]
    e2 = tris[:, 2] - tris[:, 0]
    nrm = np.cross(e1, e2)
    nrm /= np.maximum(np.linalg.norm(nrm, axis=1, keepdims=True), 1e-30)
    with open(path, "w") as f:
        out = []
        for i, tri in enumerate(tris):
            for v in tri:
                out.append("v %f %f %f\n" % tuple(v))
            for _ in range(3):
                out.append("vn %f %f %f\n" % tuple(nrm[i]))
            base = 3 * i + 1
            out.append("f %d//%d %d//%d %d//%d\n" % (base, base, base + 1, base + 1, base + 2, base + 2))
            if len(out) > 200000:
                f.write("".join(out))
                out = []
        f.write("".join(out))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    outdir = sys.argv[1]
    nodes = int(sys.argv[2]) if len(sys.argv) > 2 else 160
    faces = int(sys.argv[3]) if len(sys.argv) > 3 else 400000
    os.makedirs(outdir, exist_ok=True)
    spacing = 0.5
    origin = -spacing * (nodes - 1) / 2.0
    radius = 0.3 * spacing * (nodes - 1)
    rng = np.random.default_rng(7)
    charges = []
    for _ in range(24):
        d = rng.normal(size=3)
        d /= np.linalg.norm(d)
        pos = d * radius * rng.uniform(0.45, 0.8)
        charges.append((pos[0], pos[1], pos[2], rng.choice([-1.0, 1.0]) * rng.uniform(0.5, 2.0)))
    write_dx(os.path.join(outdir, "large.dx"), potential_grid(nodes, spacing, origin, charges), spacing, origin)
    write_obj(os.path.join(outdir, "large.obj"), surface(faces, radius))
    for name in ("large.dx", "large.obj"):
        p = os.path.join(outdir, name)
        print("%s: %.1f MB" % (p, os.path.getsize(p) / 1e6))


if __name__ == "__main__":
    main()
