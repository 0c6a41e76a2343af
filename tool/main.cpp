// quorax: the console pipeline, from a surface and a potential grid to a
// file of field lines. The command itself lives in console.cpp so that other
// programs can run it per frame.
#include <cstdio>
#include <string>
#include <vector>

#include "console.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quorax::runConsole(args, stdout, stderr);
}
