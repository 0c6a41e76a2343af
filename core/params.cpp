#include "params.h"

#include <cstdio>

#include "number_scan.h"

namespace quorax {

const char* const kArgumentNames[kPipelineArgumentCount] = {
    "3dmeshfilename", "DXfilenamne", "linesfilename", "linesdensity",
    "haltgradient",   "haltangle",   "reduce",        "reduceangle"};

namespace {

float numberArgument(const std::vector<std::string>& args, int index, std::vector<std::string>& warnings) {
    const std::string& text = args[static_cast<std::size_t>(index)];
    std::ptrdiff_t used = 0;
    const float value = static_cast<float>(parseAtof(text.data(), text.data() + text.size(), &used));
    if (text.empty() || used != static_cast<std::ptrdiff_t>(text.size())) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", static_cast<double>(value));
        warnings.push_back("argument " + std::to_string(index + 1) + " (" + kArgumentNames[index] +
                           ") \"" + text + "\" is not entirely a number; it is read as " + buf);
    }
    return value;
}

} // namespace

void parsePipelineArguments(const std::vector<std::string>& args, ArgumentRules rules,
                            PipelineParams& params, std::vector<std::string>& warnings) {
    params.meshPath = args[0];
    params.gridPath = args[1];
    params.linesPath = args[2];
    params.density = numberArgument(args, 3, warnings);
    params.haltGradient = numberArgument(args, 4, warnings);
    params.haltAngle = numberArgument(args, 5, warnings);
    if (rules == ArgumentRules::Console) {
        params.reduce = args[6] == "1";
    } else {
        const std::string& r = args[6];
        params.reduce = static_cast<float>(parseAtof(r.data(), r.data() + r.size())) != 0.0f;
    }
    params.reduceAngle = numberArgument(args, 7, warnings);
    params.debug = rules == ArgumentRules::Console && args.size() == 9 && args[8] == "1";
}

} // namespace quorax
