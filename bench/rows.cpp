// The frame's cost against the rows of the first profile.

#include "../tests/LiftLaws.h"
#include "Frames.h"
#include "picture/RecordingSurface.h"
#include "window/qt/VectorState.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using namespace zm::bench;

// The processor time of this thread, in milliseconds: on a loaded machine a
// long frame is interrupted more often than a short one, and its wall-clock
// time grows by more than its work.
double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The processor time of each frame, from one wait to the next, into the
// recorder as FrameIntoRecorder draws them, or into a surface that keeps
// nothing. more() is asked at each wait with the frame's time, at the first
// with -1 (no frame yet), and false ends the run.
void frameTimes(const zm::Mechanism& mechanism, bool record, const std::function<bool(double)>& more) {
    zm::releaseUpperVectorState();
    zm::picture::RecordingSurface rec;
    NullSurface null;
    double start = 0;
    bool started = false;
    runFrames(
        record ? static_cast<zm::Surface&>(rec) : null, false,
        [&] {
            if (!more(started ? threadMs() - start : -1)) {
                return false;
            }
            rec.ops.clear();
            started = true;
            start = threadMs();
            return true;
        },
        mechanism);
}

// Two threads that take turns, so that only one draws at a time.
struct Turns {
    std::mutex m;
    std::condition_variable cv;
    int turn = 0;
    bool stop = false;
    // Hands the turn to the other side and waits for it back; false once the
    // run is over.
    bool pass(int mine) {
        std::unique_lock<std::mutex> lock(m);
        turn = 1 - mine;
        cv.notify_all();
        cv.wait(lock, [&] { return turn == mine || stop; });
        return !stop;
    }
    void end() {
        std::lock_guard<std::mutex> lock(m);
        stop = true;
        cv.notify_all();
    }
};

// One frame against the rows of the first profile: the built-in 200 rows (0)
// and the polynomial law at finer steps, into the recorder (1) or into nothing
// (0). The frames take turns with the built-in mechanism's in another thread,
// so that both meet the same load on the machine; each turn draws two frames
// and times the second, which finds its own data in the caches as it does when
// frame follows frame. The frame walks every row
// three times and pumps three times per row, so its work is linear in the
// rows; the recorder keeps some 40 segments (28 bytes each) a row, so a long
// profile's frame no longer fits in the processor's caches.
void FrameAgainstRows(benchmark::State& state) {
    const std::size_t rows = static_cast<std::size_t>(state.range(0));
    const bool record = state.range(1) != 0;
    zm::Mechanism mechanism;
    if (rows != 0) {
        mechanism.profile = zm::test::polynomialProfile(rows);
        mechanism.profile.second.clear();
    }
    Turns turns;
    std::vector<double> builtIn, frames;
    std::thread other([&] {
        bool warm = false;
        frameTimes(zm::Mechanism{}, record, [&](double t) {
            if (t < 0) {
                return true;
            }
            if (!warm) {
                warm = true;
                return true;
            }
            warm = false;
            builtIn.push_back(t);
            return turns.pass(0);
        });
    });
    {
        // The built-in side starts; this one waits for its first turn.
        std::unique_lock<std::mutex> lock(turns.m);
        turns.cv.wait(lock, [&] { return turns.turn == 1; });
    }
    bool warm = false;
    frameTimes(mechanism, record, [&](double t) {
        if (t < 0) {
            return state.KeepRunning();
        }
        if (!warm) {
            warm = true;
            return true;
        }
        warm = false;
        frames.push_back(t);
        state.SetIterationTime(t / 1000);
        if (!state.KeepRunning()) {
            return false;
        }
        return turns.pass(1);
    });
    turns.end();
    other.join();
    const double b = median(builtIn), f = median(frames);
    state.counters["rows"] = static_cast<double>(mechanism.profile.rows());
    state.counters["frame_ms"] = f;
    state.counters["builtin_ms"] = b;
    state.counters["ratio"] = b > 0 ? f / b : 0;
    state.SetLabel("target: ratio <= 50 at 10000 rows, linear in rows");
}
BENCHMARK(FrameAgainstRows)
    ->ArgNames({"rows", "recorder"})
    ->ArgsProduct({{0, 1000, 10000}, {1, 0}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
