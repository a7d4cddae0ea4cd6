#pragma once

// The outputs of a run, written all together or not at all, and the calls that
// a signal ends: what the command line and the programs use.
#include "io/ErrorText.h"
#include "io/FrameNames.h"
#include "io/Output.h"
#include "io/OutputSet.h"
#include "io/Signals.h"
#include "io/Streams.h"
