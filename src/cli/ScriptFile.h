#pragma once

// The key script of a run, from the command line or from a file; and the
// reading of any whole input file an option names.

#include "cli/Options.h"
#include "script/KeyScript.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zm::cli {

// The largest script file read, and the reason for the limit: the steps of a
// script this size take about 16 bytes each.
inline constexpr std::size_t maxScriptBytes = std::size_t{64} << 20;

// The whole file, or standard input for "-", read for an option: a device, a
// FIFO (whose open waits for a writer) or a pipe is read to its end; a folder
// or a file that cannot be read is refused naming the option; a regular file
// over limit bytes is refused with tooLargeMessage before it is read, any other
// input as soon as it passes the limit. A blocked open or read gives way to an
// interrupt. Throws UsageError.
std::string readInputFile(const std::string& name, const char* option, std::size_t limit,
                          const std::string& tooLargeMessage);
// An input's name in messages: quoted, or "from standard input" for "-".
std::string inputName(const std::string& name);

// The steps of the run: from --keys, or from --keys-file (a file, or - for
// standard input; a UTF-8 byte-order mark at its start is skipped), then the
// sweep's. A timed step may name any of the pumps of a frame (pumps, from
// script::pumpsPerFrame of the mechanism's rows). Stops for an interrupt while
// reading or parsing. Throws UsageError.
std::vector<script::Step> readSteps(const Options& o, int pumps);

} // namespace zm::cli
