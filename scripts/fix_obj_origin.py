#!/usr/bin/python3
"""Move a PyMOL-exported OBJ surface back into the molecule's own frame.

PyMOL's OBJ export does not write model coordinates: every vertex is written
as  R * (p - origin),  where origin is the view's origin of rotation and R the
view rotation (model space -> camera space).  Both come from cmd.get_view():
elements 0..8 are R in column-major order, elements 12..14 the origin.
This script inverts that, p = origin + R^T * v, so that the surface lines up
with the atoms and with the APBS potential grid.

Only "v " lines change.  "vn " lines are left byte-for-byte as they are when R
is the identity (the normal case, make_example.sh forces it); otherwise the
normals are rotated back as well.  Face lines and anything else pass through.

Usage: fix_obj_origin.py VIEW_FILE IN.obj OUT.obj
VIEW_FILE holds the 18 numbers of cmd.get_view(), whitespace or comma separated.
"""
import sys


def read_view(path):
    with open(path) as fh:
        text = fh.read().replace(",", " ").replace("(", " ").replace(")", " ")
    nums = [float(t) for t in text.split()]
    if len(nums) != 18:
        raise ValueError(f"{path}: expected the 18 numbers of cmd.get_view(), got {len(nums)}")
    # Column-major: R[row][col] = nums[col*3 + row].
    rot = [[nums[c * 3 + r] for c in range(3)] for r in range(3)]
    return rot, nums[12:15]


def is_identity(rot, tol=1e-6):
    return all(abs(rot[r][c] - (1.0 if r == c else 0.0)) <= tol
               for r in range(3) for c in range(3))


def rotate_back(rot, v):
    """R^T * v (R is a rotation, so R^T is its inverse)."""
    return [sum(rot[r][c] * v[r] for r in range(3)) for c in range(3)]


def fix_lines(lines, rot, origin):
    identity = is_identity(rot)
    out = []
    for line in lines:
        if line.startswith("v "):
            parts = line.split()
            if len(parts) < 4:
                raise ValueError(f"malformed vertex line: {line.rstrip()}")
            v = [float(x) for x in parts[1:4]]
            if not identity:
                v = rotate_back(rot, v)
            p = [v[i] + origin[i] for i in range(3)]
            # Anything after x y z (e.g. vertex colours) is kept.
            out.append("v %.6f %.6f %.6f%s\n" % (*p, "".join(" " + t for t in parts[4:])))
        elif line.startswith("vn ") and not identity:
            n = rotate_back(rot, [float(x) for x in line.split()[1:4]])
            out.append("vn %.6f %.6f %.6f\n" % tuple(n))
        else:
            out.append(line)
    return out


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    rot, origin = read_view(argv[1])
    with open(argv[2]) as fh:
        lines = fh.readlines()
    out = fix_lines(lines, rot, origin)
    with open(argv[3], "w") as fh:
        fh.writelines(out)
    nv = sum(1 for l in lines if l.startswith("v "))
    print(f"fix_obj_origin: shifted {nv} vertices by origin "
          f"({origin[0]:.6f}, {origin[1]:.6f}, {origin[2]:.6f})"
          + ("" if is_identity(rot) else ", undid view rotation"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
