#pragma once

// The key script of a run, from the command line or from a file.

#include "cli/Options.h"
#include "script/KeyScript.h"

#include <cstddef>
#include <vector>

namespace zm::cli {

// The largest script file read, and the reason for the limit: the steps of a
// script this size take about 16 bytes each.
inline constexpr std::size_t maxScriptBytes = std::size_t{64} << 20;

// The steps of the run: from --keys, or from --keys-file (a file, or - for
// standard input; a UTF-8 byte-order mark at its start is skipped), then the
// sweep's. Stops for an interrupt while reading or parsing. Throws UsageError.
std::vector<script::Step> readSteps(const Options& o);

} // namespace zm::cli
