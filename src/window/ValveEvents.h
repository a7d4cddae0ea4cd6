#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zm {

// Where a curve of lift against x opens and closes at the checking lift, and
// its greatest lift. opens and closes are NaN when the lift never reaches the
// checking lift, and duration with them.
struct ValveEvent {
    double opens;
    double closes;
    double duration; // |closes - opens|
    double peakX;
    double peakLift;
};

// Walks the points in order: opens where the lift first reaches the checking
// lift, closes where it last falls below it, each interpolated linearly in x
// between the two points around it (a curve that starts at or above it opens
// at its first point, one that ends there closes at its last); the peak is the
// first point of greatest lift. n >= 1.
ValveEvent valveEvent(const double* x, const double* lift, std::size_t n, double checkingLift);

// The events of one frame that reached its wait: frame counts those frames
// from 1, k is the control angle at the wait.
struct FrameEvents {
    int frame;
    double k;
    ValveEvent movingTrace;
};

// The events as comma-separated values: a header, then for each frame a row for
// the first profile and one for the moving trace. Numbers are the shortest text
// that reads back to the same double; an event that does not happen is empty.
std::string eventsCsv(const ValveEvent& firstProfile, const std::vector<FrameEvents>& frames);

} // namespace zm
