// quorax-prepare: from a structure (PQR, or PDB through pdb2pqr) to the two
// inputs of quorax, a potential grid from APBS and the molecular surface in
// the same frame.
//
// Everything is made in a private work folder under $TMPDIR. APBS writes the
// potential and its molecular-surface map on one grid; the surface is the 0.5
// level of the (box-filtered) map, so its vertices are in the grid's frame by
// construction. Both results are checked with the field core's own DX reader,
// then written into OUTDIR under temporary names and renamed into place
// together, so OUTDIR never holds half of a result.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dx_reader.h"
#include "file_io.h"
#include "grid.h"
#include "isosurface.h"
#include "mesh.h"
#include "read_status.h"
#include "structure.h"
#include "version.h"
#include "writers.h"

namespace fs = std::filesystem;
using namespace quorax;

namespace {

constexpr const char* kProgram = "quorax-prepare";
// APBS's focusing solver holds about 450 bytes per fine-grid node (measured
// with APBS 3.4: 124 MB for 65³); grids beyond this many nodes are refused
// before it starts rather than left to exhaust the memory.
constexpr double kMaxNodes = 20e6;
constexpr double kApbsBytesPerNode = 450.0;

const char* const kHelp =
    "Usage: quorax-prepare STRUCTURE [OUTDIR] [OPTIONS]\n"
    "\n"
    "Computes the electrostatic potential of a molecule with APBS and its molecular\n"
    "surface on the same grid, and writes the two inputs of quorax to OUTDIR\n"
    "(default: the current folder):\n"
    "  NAME.dx   potential in kT/e, OpenDX grid\n"
    "  NAME.obj  molecular surface (probe 1.4 A), in the grid's frame\n"
    "NAME is the structure's file name without its extension.\n"
    "\n"
    "STRUCTURE is a PQR file (name ending in .pqr) or a PDB file, which pdb2pqr\n"
    "turns into PQR first (hydrogens added, charges and radii of the force field).\n"
    "\n"
    "Options:\n"
    "  --spacing A    grid spacing in angstrom (default 0.5)\n"
    "  --margin A     room between the atoms and the grid's faces (default 8)\n"
    "  --salt M       concentration of a 1:1 salt, mol/l (default 0.150)\n"
    "  --ff NAME      pdb2pqr force field (default PARSE)\n"
    "  --force        replace NAME.dx and NAME.obj when they exist\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "Exit status: 0 when both files were written, 1 when a step failed (OUTDIR is\n"
    "then unchanged), 2 for a bad command line.\n";

// Signal received while a helper program ran; the helper gets it too.
volatile sig_atomic_t gSignal = 0;
volatile pid_t gChild = 0;

void onSignal(int sig) {
    gSignal = sig;
    if (gChild > 0) ::kill(gChild, sig);
}

// Output folders this run created, deepest first.
std::vector<std::string> gCreatedDirs;

struct Options {
    std::string structure;
    std::string outDir = ".";
    double spacing = 0.5;
    double margin = 8.0;
    double salt = 0.150;
    std::string forceField = "PARSE";
    bool force = false;
};

// A step that failed: what the user reads after "quorax-prepare: ".
struct Failure {
    std::string message;
    std::string detail; // helper log tail, printed after the message
};

std::string format(const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

// The last `count` lines of a text, for a helper's log.
std::string tailLines(const std::string& text, int count) {
    std::size_t p = text.size();
    while (p > 0 && text[p - 1] == '\n') --p;
    const std::size_t end = p;
    for (int n = 0; n < count && p > 0; ++n) {
        p = text.rfind('\n', p - 1);
        if (p == std::string::npos) {
            p = 0;
            break;
        }
    }
    return text.substr(p == 0 ? 0 : p + 1, end - (p == 0 ? 0 : p + 1));
}

std::string readText(const std::string& path) {
    FileBytes f;
    std::string error;
    if (!f.open(path, error)) return {};
    return std::string(f.view());
}

// A private folder for the helpers' files, removed with everything in it.
class WorkDir {
public:
    bool create(std::string& error) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorax-prepare.XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            error = format("cannot create a work folder in %s: %s", tmp && *tmp ? tmp : "/tmp", std::strerror(errno));
            return false;
        }
        path_ = pattern;
        return true;
    }
    ~WorkDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct RunResult {
    bool started = false;
    int execErrno = 0; // why the program could not be started
    int status = 0;    // wait status
};

// Runs argv[0] (searched on PATH) in `cwd` with standard output and error
// going to `logPath` and standard input from /dev/null; no shell.
RunResult runHelper(const std::vector<std::string>& argv, const std::string& cwd, const std::string& logPath) {
    RunResult r;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        r.execErrno = errno;
        return r;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        r.execErrno = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return r;
    }
    if (pid == 0) {
        // Only async-signal-safe calls until exec; a failure goes back
        // through the pipe as errno.
        int e = 0;
        const int in = ::open("/dev/null", O_RDONLY);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || log < 0 || ::dup2(in, 0) < 0 || ::dup2(log, 1) < 0 || ::dup2(log, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            e = errno;
        } else {
            ::execvp(args[0], args.data());
            e = errno;
        }
        ssize_t ignored = ::write(pipeFds[1], &e, sizeof e);
        (void)ignored;
        ::_exit(127);
    }
    gChild = pid;
    ::close(pipeFds[1]);
    int e = 0;
    ssize_t got;
    do got = ::read(pipeFds[0], &e, sizeof e);
    while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    gChild = 0;
    if (got == static_cast<ssize_t>(sizeof e)) {
        r.execErrno = e;
        return r;
    }
    r.started = true;
    r.status = status;
    return r;
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return format("exit status %d", WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return format("killed by signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status)));
    return "stopped";
}

bool endsWithPqr(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    std::string lower;
    for (char c : ext) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == ".pqr";
}

// Quotes a path for a POSIX shell when it holds anything but safe characters.
std::string shellQuote(const std::string& s) {
    const bool safe = !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+,:@%", c);
    });
    if (safe) return s;
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// ---- command line ---------------------------------------------------------

enum class Parse { Run, Exit0, Usage };

bool parseNumber(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && errno == 0 && *end == '\0' && std::isfinite(value);
}

Parse parseCommandLine(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return Parse::Exit0;
        }
        if (a == "--version") {
            std::printf("%s %s\n", kProgram, QUORAX_VERSION);
            return Parse::Exit0;
        }
        if (a == "--force") {
            o.force = true;
            continue;
        }
        if (a == "--") {
            for (++i; i < argc; ++i) positional.push_back(argv[i]);
            break;
        }
        if (a.starts_with("--")) {
            std::string name = a, value;
            const std::size_t eq = a.find('=');
            if (eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
            }
            const bool known = name == "--spacing" || name == "--margin" || name == "--salt" || name == "--ff";
            if (!known) {
                std::fprintf(stderr, "%s: unknown option %s (see --help)\n", kProgram, name.c_str());
                return Parse::Usage;
            }
            if (eq == std::string::npos) {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, "%s: option %s needs a value\n", kProgram, name.c_str());
                    return Parse::Usage;
                }
                value = argv[++i];
            }
            if (name == "--ff") {
                o.forceField = value;
                continue;
            }
            double v = 0.0;
            const bool number = parseNumber(value, v);
            if (name == "--spacing" && number && v >= 0.05 && v <= 5.0) {
                o.spacing = v;
            } else if (name == "--margin" && number && v >= 0.0 && v <= 100.0) {
                o.margin = v;
            } else if (name == "--salt" && number && v >= 0.0 && v <= 10.0) {
                o.salt = v;
            } else {
                const char* range = name == "--spacing" ? "0.05 to 5" : name == "--margin" ? "0 to 100" : "0 to 10";
                std::fprintf(stderr, "%s: %s \"%s\" is not a number from %s\n", kProgram, name.c_str(),
                             value.c_str(), range);
                return Parse::Usage;
            }
            continue;
        }
        positional.push_back(a);
    }
    if (positional.empty() || positional.size() > 2) {
        std::fprintf(stderr, "%s: %s\nUsage: quorax-prepare STRUCTURE [OUTDIR] [OPTIONS] (see --help)\n", kProgram,
                     positional.empty() ? "no structure file given" : "too many arguments");
        return Parse::Usage;
    }
    o.structure = positional[0];
    if (positional.size() == 2) o.outDir = positional[1];
    return Parse::Run;
}

// ---- the steps ------------------------------------------------------------

struct Outputs {
    std::string dxPath, objPath;
};

// OUTDIR exists (or is created), takes new files, and does not hold the
// results already unless --force was given.
bool checkOutDir(const Options& o, const std::string& name, Outputs& out, Failure& f) {
    std::error_code ec;
    if (!fs::exists(o.outDir, ec)) {
        // Remembered so that a failed run takes it away again.
        for (fs::path p = fs::absolute(o.outDir, ec); !p.empty() && !fs::exists(p, ec); p = p.parent_path())
            gCreatedDirs.push_back(p.string());
        fs::create_directories(o.outDir, ec);
        if (ec) {
            f.message = format("cannot create output folder %s: %s", o.outDir.c_str(), ec.message().c_str());
            return false;
        }
    } else if (!fs::is_directory(o.outDir, ec)) {
        f.message = format("output folder %s: %s", o.outDir.c_str(), std::strerror(ENOTDIR));
        return false;
    }
    // A probe file tells more than access(): read-only mounts, root, ACLs.
    std::string probe = o.outDir + "/.quorax-prepare-probe.XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        f.message = format("cannot write to output folder %s: %s", o.outDir.c_str(), std::strerror(errno));
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    out.dxPath = (fs::path(o.outDir) / (name + ".dx")).string();
    out.objPath = (fs::path(o.outDir) / (name + ".obj")).string();
    for (const std::string& p : {out.dxPath, out.objPath}) {
        if (!fs::exists(fs::symlink_status(p, ec))) continue;
        if (fs::is_directory(p, ec)) {
            f.message = format("%s is a folder; it cannot be replaced by the result", p.c_str());
            return false;
        }
        if (!o.force) {
            f.message = format("%s exists; give --force to replace it", p.c_str());
            return false;
        }
    }
    return true;
}

// Makes WORK/structure.pqr from the input and reads its atoms.
bool prepareStructure(const Options& o, const WorkDir& work, std::vector<Atom>& atoms, Failure& f) {
    const std::string pqr = work.file("structure.pqr");
    FileBytes input;
    std::string error;
    if (!input.open(o.structure, error)) {
        f.message = format("cannot read structure %s: %s", o.structure.c_str(), error.c_str());
        return false;
    }
    if (endsWithPqr(o.structure)) {
        std::printf("[1/5] structure: %s (PQR)\n", o.structure.c_str());
        if (!writeFileAtomically(pqr, input.view(), error)) {
            f.message = format("cannot copy %s into the work folder: %s", o.structure.c_str(), error.c_str());
            return false;
        }
    } else {
        std::printf("[1/5] structure: %s (PDB), pdb2pqr --ff=%s\n", o.structure.c_str(), o.forceField.c_str());
        std::fflush(stdout);
        const std::string absolute = fs::absolute(o.structure).string();
        const std::string log = work.file("pdb2pqr.log");
        const std::vector<std::string> args = {"--ff=" + o.forceField, "--whitespace", absolute, pqr};
        // Debian installs the program as pdb2pqr and as pdb2pqr30.
        RunResult r;
        for (const char* program : {"pdb2pqr", "pdb2pqr30"}) {
            std::vector<std::string> argv = {program};
            argv.insert(argv.end(), args.begin(), args.end());
            r = runHelper(argv, work.path(), log);
            if (r.started || r.execErrno != ENOENT) break;
        }
        if (!r.started) {
            f.message = format("cannot run pdb2pqr on %s: %s (install the Debian package pdb2pqr)",
                               o.structure.c_str(), std::strerror(r.execErrno));
            return false;
        }
        if (gSignal) return false;
        if (r.status != 0 || !fs::exists(pqr)) {
            f.message = format("pdb2pqr failed on %s (%s); the end of its output:", o.structure.c_str(),
                               r.status != 0 ? describeStatus(r.status).c_str() : "no PQR written");
            f.detail = tailLines(readText(log), 12);
            return false;
        }
    }
    FileBytes pqrBytes;
    if (!pqrBytes.open(pqr, error)) {
        f.message = format("cannot read the PQR made from %s: %s", o.structure.c_str(), error.c_str());
        return false;
    }
    const ReadStatus read = readPqrAtoms(pqrBytes.view(), atoms);
    if (!read.ok()) {
        f.message = format("%s%s: %s", o.structure.c_str(), endsWithPqr(o.structure) ? "" : " (as PQR from pdb2pqr)",
                           readProblemText(read).c_str());
        return false;
    }
    double charge = 0.0;
    for (const Atom& a : atoms) charge += a.charge;
    std::printf("      %zu atom%s, total charge %.2f e\n", atoms.size(), atoms.size() == 1 ? "" : "s", charge);
    return true;
}

std::string apbsInput(const GridPlan& g, double salt) {
    const auto triple = [](const std::array<double, 3>& v) { return format("%.6f %.6f %.6f", v[0], v[1], v[2]); };
    std::string s;
    s += "read\n    mol pqr structure.pqr\nend\n";
    s += "elec name potential\n    mg-auto\n";
    s += format("    dime %d %d %d\n", g.nodes[0], g.nodes[1], g.nodes[2]);
    s += "    cglen " + triple(g.coarseLength) + "\n";
    s += "    cgcent " + triple(g.centre) + "\n";
    s += "    fglen " + triple(g.fineLength) + "\n";
    s += "    fgcent " + triple(g.centre) + "\n";
    s += "    mol 1\n    lpbe\n    bcfl sdh\n";
    s += format("    ion charge 1 conc %.4f radius 2.0\n", salt);
    s += format("    ion charge -1 conc %.4f radius 2.0\n", salt);
    s += "    pdie 2.0\n    sdie 78.54\n    chgm spl2\n    srfm smol\n    srad 1.4\n    swin 0.3\n"
         "    sdens 10.0\n    temp 298.15\n    calcenergy no\n    calcforce no\n"
         "    write pot dx potential\n    write smol dx surface\nend\nquit\n";
    return s;
}

// APBS names its files STEM.dx, or STEM-PE0.dx when it counts processors.
std::string apbsOutput(const WorkDir& work, const std::string& stem) {
    for (const std::string& name : {stem + ".dx", stem + "-PE0.dx"})
        if (fs::exists(work.file(name))) return work.file(name);
    return {};
}

bool runApbs(const Options& o, const WorkDir& work, const GridPlan& plan, std::string& potPath,
             std::string& surfPath, Failure& f) {
    std::printf("[3/5] APBS: potential and molecular-surface map, %.3f M salt\n", o.salt);
    std::fflush(stdout);
    std::string error;
    if (!writeFileAtomically(work.file("apbs.in"), apbsInput(plan, o.salt), error)) {
        f.message = format("cannot write the APBS input in %s: %s", work.path().c_str(), error.c_str());
        return false;
    }
    const std::string log = work.file("apbs.log");
    const RunResult r = runHelper({"apbs", "apbs.in"}, work.path(), log);
    if (!r.started) {
        f.message = format("cannot run apbs: %s (install the Debian package apbs)", std::strerror(r.execErrno));
        return false;
    }
    if (gSignal) return false;
    potPath = apbsOutput(work, "potential");
    surfPath = apbsOutput(work, "surface");
    if (r.status != 0 || potPath.empty() || surfPath.empty()) {
        f.message = format("APBS failed on %s (%s); the end of its output:", o.structure.c_str(),
                           r.status != 0 ? describeStatus(r.status).c_str() : "no potential or surface map written");
        f.detail = tailLines(readText(log), 12);
        return false;
    }
    return true;
}

// The grid APBS wrote must be the planned one; `what` names it in messages.
bool checkGrid(const std::string& path, const char* what, const GridPlan& plan, PotentialGrid& grid, Failure& f) {
    const ReadStatus r = readDxGridFile(grid, path);
    if (!r.ok()) {
        f.message = format("APBS's %s %s does not read: %s", what, fs::path(path).filename().c_str(),
                           readProblemText(r).c_str());
        return false;
    }
    const int32_t n[3] = {grid.nx, grid.ny, grid.nz};
    const float d[3] = {grid.delta.x, grid.delta.y, grid.delta.z};
    const float o[3] = {grid.origin.x, grid.origin.y, grid.origin.z};
    for (int a = 0; a < 3; ++a) {
        const double origin = plan.centre[a] - 0.5 * plan.fineLength[a];
        if (n[a] != plan.nodes[a] || std::fabs(d[a] - plan.spacing) > 1e-4 * plan.spacing ||
            std::fabs(o[a] - origin) > 1e-3 * plan.spacing) {
            f.message = format("APBS's %s is not on the planned grid: %d x %d x %d nodes, spacing %g %g %g, "
                               "origin %g %g %g (planned %d x %d x %d, spacing %g)",
                               what, grid.nx, grid.ny, grid.nz, d[0], d[1], d[2], o[0], o[1], o[2], plan.nodes[0],
                               plan.nodes[1], plan.nodes[2], plan.spacing);
            return false;
        }
    }
    return true;
}

// Smallest distance of a vertex to a face of the grid's box, in spacings.
double vertexMarginInSpacings(const TriMesh& mesh, const PotentialGrid& g, Vec3& worst) {
    double margin = INFINITY;
    const float o[3] = {g.origin.x, g.origin.y, g.origin.z};
    const float d[3] = {g.delta.x, g.delta.y, g.delta.z};
    const int32_t n[3] = {g.nx, g.ny, g.nz};
    for (const MeshVertex& v : mesh.vertices) {
        const float p[3] = {v.pos.x, v.pos.y, v.pos.z};
        for (int a = 0; a < 3; ++a) {
            const double lo = (p[a] - o[a]) / d[a];
            const double hi = (n[a] - 1) - lo;
            if (std::min(lo, hi) < margin) {
                margin = std::min(lo, hi);
                worst = v.pos;
            }
        }
    }
    return margin;
}

bool makeSurface(const PotentialGrid& map, TriMesh& mesh, Failure& f) {
    if (!(map.minValue < 0.5f)) {
        f.message = "APBS's molecular-surface map holds no node inside the molecule; the grid spacing may be "
                    "too coarse for so small a molecule";
        return false;
    }
    mesh = extractIsosurface(boxFilterGrid(map), 0.5f);
    if (mesh.faceCount() == 0) {
        f.message = "the molecular-surface map gives an empty surface";
        return false;
    }
    Vec3 worst;
    const double margin = vertexMarginInSpacings(mesh, map, worst);
    std::printf("[4/5] surface: %d vertices, %d faces, at least %.1f spacings inside the grid\n", mesh.vertexCount(),
                mesh.faceCount(), margin);
    if (margin < 2.0) {
        f.message = format("surface vertex (%g, %g, %g) lies %.2f spacings from the grid's edge, fewer than 2; "
                           "give a larger --margin",
                           worst.x, worst.y, worst.z, margin);
        return false;
    }
    return true;
}

// A file in `dir` under a temporary name, holding `content`, flushed.
bool stageFile(const std::string& finalPath, std::string_view content, std::string& staged, std::string& error) {
    const fs::path p(finalPath);
    staged = (p.parent_path() / ("." + p.filename().string() + ".tmp.XXXXXX")).string();
    const int fd = ::mkostemp(staged.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        staged.clear();
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    std::size_t done = 0;
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
    while (ok && done < content.size()) {
        const ssize_t w = ::write(fd, content.data() + done, content.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) ok = false;
        else done += static_cast<std::size_t>(w);
    }
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) ok = false;
    if (!ok) error = std::strerror(errno ? errno : EIO);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(staged.c_str());
        staged.clear();
    }
    return ok;
}

bool writeOutputs(const Outputs& out, const std::string& potPath, const TriMesh& mesh, const std::string& name,
                  Failure& f) {
    std::string error;
    FileBytes dx;
    if (!dx.open(potPath, error)) {
        f.message = format("cannot read APBS's potential %s: %s", potPath.c_str(), error.c_str());
        return false;
    }
    const std::string obj = "# molecular surface of " + name + ", level 0.5 of APBS's smol map, grid frame\n" +
                            formatObjMesh(mesh);
    std::string stagedDx, stagedObj;
    if (!stageFile(out.dxPath, dx.view(), stagedDx, error)) {
        f.message = format("cannot write %s: %s", out.dxPath.c_str(), error.c_str());
        return false;
    }
    if (!stageFile(out.objPath, obj, stagedObj, error)) {
        ::unlink(stagedDx.c_str());
        f.message = format("cannot write %s: %s", out.objPath.c_str(), error.c_str());
        return false;
    }
    std::error_code ec;
    const bool dxExisted = fs::exists(out.dxPath, ec), objExisted = fs::exists(out.objPath, ec);
    if (::rename(stagedDx.c_str(), out.dxPath.c_str()) != 0) {
        const int e = errno;
        ::unlink(stagedDx.c_str());
        ::unlink(stagedObj.c_str());
        f.message = format("cannot write %s: %s", out.dxPath.c_str(), std::strerror(e));
        return false;
    }
    if (::rename(stagedObj.c_str(), out.objPath.c_str()) != 0) {
        const int e = errno;
        ::unlink(stagedObj.c_str());
        f.message = format("cannot write %s: %s (%s was already written)", out.objPath.c_str(), std::strerror(e),
                           out.dxPath.c_str());
        return false;
    }
    std::printf("[5/5] %s %s\n", dxExisted ? "replaced" : "wrote", out.dxPath.c_str());
    std::printf("      %s %s\n", objExisted ? "replaced" : "wrote", out.objPath.c_str());
    return true;
}

int fail(const Failure& f) {
    std::fflush(stdout);
    // rmdir only takes empty folders: nothing a user put there is lost.
    for (const std::string& dir : gCreatedDirs) ::rmdir(dir.c_str());
    if (gSignal) {
        std::fprintf(stderr, "%s: interrupted by signal %d; nothing written\n", kProgram, static_cast<int>(gSignal));
        return 128 + gSignal;
    }
    std::fprintf(stderr, "%s: %s\n", kProgram, f.message.c_str());
    if (!f.detail.empty()) std::fprintf(stderr, "%s\n", f.detail.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // One line per stage, also when standard output is a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    switch (parseCommandLine(argc, argv, o)) {
    case Parse::Exit0: return 0;
    case Parse::Usage: return 2;
    case Parse::Run: break;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);

    std::string name = fs::path(o.structure).stem().string();
    if (name.empty() || name == "." || name == "..") name = "structure";
    Failure f;
    Outputs out;
    std::error_code ec;
    if (!fs::exists(o.structure, ec)) {
        f.message = format("cannot read structure %s: %s", o.structure.c_str(), std::strerror(ENOENT));
        return fail(f);
    }
    if (!checkOutDir(o, name, out, f)) return fail(f);
    WorkDir work;
    if (!work.create(f.message)) return fail(f);

    std::vector<Atom> atoms;
    if (!prepareStructure(o, work, atoms, f)) return fail(f);

    const GridPlan plan = planGrid(atoms, o.spacing, o.margin);
    const double nodes = double(plan.nodes[0]) * plan.nodes[1] * plan.nodes[2];
    if (nodes > kMaxNodes) {
        f.message = format("a grid of %d x %d x %d nodes for %s is larger than %.0f million nodes (APBS would need "
                           "about %.0f GB); give a larger --spacing or a smaller --margin",
                           plan.nodes[0], plan.nodes[1], plan.nodes[2], o.structure.c_str(), kMaxNodes / 1e6,
                           nodes * kApbsBytesPerNode / 1e9);
        return fail(f);
    }
    std::printf("[2/5] grid: %d x %d x %d nodes, spacing %.3f A, %.1f x %.1f x %.1f A around (%.3f, %.3f, %.3f)\n",
                plan.nodes[0], plan.nodes[1], plan.nodes[2], plan.spacing, plan.fineLength[0], plan.fineLength[1],
                plan.fineLength[2], plan.centre[0], plan.centre[1], plan.centre[2]);

    std::string potPath, surfPath;
    if (!runApbs(o, work, plan, potPath, surfPath, f)) return fail(f);
    PotentialGrid potential, map;
    if (!checkGrid(potPath, "potential", plan, potential, f) || !checkGrid(surfPath, "molecular-surface map", plan, map, f))
        return fail(f);
    std::printf("      potential from %.3f to %.3f kT/e\n", potential.minValue, potential.maxValue);

    TriMesh mesh;
    if (!makeSurface(map, mesh, f)) return fail(f);
    if (gSignal || !writeOutputs(out, potPath, mesh, name, f)) return fail(f);

    std::printf("\nField lines from these files:\n  quorax %s %s %s 0.01 0.0 45 1 3.0\n", shellQuote(out.objPath).c_str(),
                shellQuote(out.dxPath).c_str(),
                shellQuote((fs::path(o.outDir) / (name + "_lines.txt")).string()).c_str());
    return 0;
}
