#pragma once

#include <optional>

namespace telva {

// `telva --help` and `telva --version` print and leave before any window opens (and
// without a display); the exit code then, nothing for every other command line.
std::optional<int> answerHelpOrVersion(int argc, char** argv);

} // namespace telva
