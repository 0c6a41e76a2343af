#!/usr/bin/python3
"""Writes the seeding-bound benchmark case: a flat sheet of 99 458 triangles of
nearly equal area (a 224 x 224 vertex grid whose height is jittered by a
thousandth; OBJ, about 3 MB) over a constant potential (20^3 OpenDX grid).
Every face has nearly the same power, so the seeding's random thinning runs
into its bound.

Usage: bench/make_flat_case.py OUTDIR
"""
import os
import sys


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    n = 224
    with open(os.path.join(out, "flat.obj"), "w") as f:
        for i in range(n):
            for j in range(n):
                f.write("v %g %g %g\n" % (2 + 15.0 * i / n, 2 + 15.0 * j / n, 10 + 0.001 * ((7 * i + 3 * j) % 5)))
        for i in range(n - 1):
            for j in range(n - 1):
                v = i * n + j + 1
                f.write("f %d %d %d\nf %d %d %d\n" % (v, v + n, v + 1, v + 1, v + n, v + n + 1))
    nodes = 20
    with open(os.path.join(out, "flat.dx"), "w") as f:
        f.write("object 1 class gridpositions counts %d %d %d\norigin 0 0 0\n" % (nodes, nodes, nodes))
        f.write("delta 1 0 0\ndelta 0 1 0\ndelta 0 0 1\n")
        f.write("object 2 class gridconnections counts %d %d %d\n" % (nodes, nodes, nodes))
        f.write("object 3 class array type double rank 0 items %d data follows\n" % nodes ** 3)
        values = ["1.0"] * nodes ** 3
        for k in range(0, len(values), 3):
            f.write(" ".join(values[k:k + 3]) + "\n")
        f.write('attribute "dep" string "positions"\n')


if __name__ == "__main__":
    main()
