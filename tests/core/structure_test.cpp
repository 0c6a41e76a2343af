// PQR atoms and the grid planned around them.
#include "structure.h"

#include <gtest/gtest.h>

using namespace quorax;

TEST(Structure, PqrRecordsTakeTheirLastFiveFields) {
    // pdb2pqr's columns, a record without chain and a four-letter residue
    // (both as in APBS's examples), a remark and a HETATM with a "+" sign.
    const std::string text = "REMARK   1 made by hand\n"
                             "ATOM      1  N    GLY A   1      -1.195    0.201   -0.206  0.2943 1.8240\n"
                             "ATOM  2  C A 1 1.5000 0.0000 0.0000 0.650000  1.8700 \r\n"
                             "HETATM    3  C1  TARG     1       0.000   0.000   1.515 +0.780 1.880\n"
                             "TER\nEND\n";
    std::vector<Atom> atoms;
    const ReadStatus r = readPqrAtoms(text, atoms);
    ASSERT_TRUE(r.ok()) << readProblemText(r);
    ASSERT_EQ(atoms.size(), 3u);
    EXPECT_DOUBLE_EQ(atoms[0].pos[0], -1.195);
    EXPECT_DOUBLE_EQ(atoms[0].charge, 0.2943);
    EXPECT_DOUBLE_EQ(atoms[1].pos[0], 1.5);
    EXPECT_DOUBLE_EQ(atoms[1].radius, 1.87);
    EXPECT_DOUBLE_EQ(atoms[2].pos[2], 1.515);
    EXPECT_DOUBLE_EQ(atoms[2].charge, 0.78);
    // Refusals name the line and the problem and keep what was there.
    const struct {
        std::string text, error;
    } bad[] = {
        {"ATOM 1 N GLY 1 1.0 2.0 x3 0.1 1.5\n", "line 1: atom z \"x3\" is not a number"},
        {"REMARK\nATOM 1.0 2.0 3.0 0.1\n", "line 2: atom record with fewer than five numbers (x y z charge radius)"},
        {"ATOM 1 N 1.0 2.0 3.0 0.1\n", "line 1: atom x \"N\" is not a number"}, // radius missing
        {"ATOM 1 N GLY 1 1.0 2.0 3.0 0.1 -1.5\n", "line 1: negative atom radius -1.5"},
        {"ATOM 1 N GLY 1 1.0 nan 3.0 0.1 1.5\n", "line 1: atom y \"nan\" is not a number"},
        {"HEADER nothing here\n", "no ATOM or HETATM records"},
        {"ATOM 1 N GLY 1 1.0 2.0 \x1b[2J 0.1 1.5\n", "line 1: atom z \"\\x1b[2J\" is not a number"},
        {"", "no ATOM or HETATM records"},
    };
    for (const auto& b : bad) {
        const ReadStatus e = readPqrAtoms(b.text, atoms);
        EXPECT_FALSE(e.ok());
        EXPECT_EQ(readProblemText(e), b.error);
        EXPECT_EQ(atoms.size(), 3u);
    }
}

TEST(Structure, GridCoversTheAtomsWithTheMarginInMultigridCounts) {
    // Two atoms spanning x −3 … 13 with their radii (extent 16), y and z −3 … 3.
    const std::vector<Atom> atoms = {{{0, 0, 0}, 1.0, 3.0}, {{10, 0, 0}, -1.0, 3.0}};
    const GridPlan p = planGrid(atoms, 0.5, 8.0);
    EXPECT_DOUBLE_EQ(p.centre[0], 5.0);
    EXPECT_DOUBLE_EQ(p.extent[0], 16.0);
    // x needs 32 Å / 0.5 + 1 = 65 nodes, exactly 2·32 + 1; y and z need 45, rounded up to 65 as well.
    EXPECT_EQ(p.nodes[0], 65);
    EXPECT_EQ(p.nodes[1], 65);
    EXPECT_DOUBLE_EQ(p.fineLength[0], 32.0);
    EXPECT_DOUBLE_EQ(p.coarseLength[0], 48.0); // 1.5 × fine is longer than 1.7 × 16
    for (double h : {0.3, 0.5, 0.77, 1.0, 2.0})
        for (double margin : {0.0, 3.0, 8.0, 21.5}) {
            const GridPlan q = planGrid(atoms, h, margin);
            for (int a = 0; a < 3; ++a) {
                EXPECT_EQ((q.nodes[a] - 1) % 32, 0);
                EXPECT_GE(q.nodes[a], 33);
                EXPECT_GE(q.fineLength[a] + 1e-9, q.extent[a] + 2 * margin) << h << " " << margin;
                EXPECT_LT(q.fineLength[a] - 32 * h, std::max(q.extent[a] + 2 * margin, 32 * h));
                EXPECT_GE(q.coarseLength[a], q.fineLength[a]);
            }
        }
}
