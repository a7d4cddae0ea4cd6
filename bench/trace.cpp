// Measurements of the trace's writing: the whole sweep played into a recorder
// that writes every trace line, against the same run with the lines left
// unwritten; and the shortest float text on its own.

#include "KeyScript.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/RecordingSurface.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Either writes each line as the trace programs do, or only counts it.
class Recorder : public zm::RecordingSurface {
  public:
    explicit Recorder(bool write) : write_(write) {}
    std::string text;
    long lines = 0;

  protected:
    void record(const zm::Op& op) override {
        ++lines;
        if (write_) {
            text += zm::traceLine(op);
            text.push_back('\n');
        }
    }

  private:
    bool write_;
};

// Seconds to play the whole sweep (with the overlays piling up, or not).
double playSweep(bool overlays, bool write, long& lines, std::size_t& bytes) {
    std::vector<zm::replay::Step> steps = zm::replay::parseScript(overlays ? "backspace slash" : "");
    zm::replay::appendSweep(steps);
    Recorder rec(write);
    const Clock::time_point start = Clock::now();
    zm::replay::ScriptHost host(steps, &rec);
    zm::Form1 form(rec, host);
    host.attach(form);
    host.play();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    lines = rec.lines;
    bytes = rec.text.size();
    benchmark::DoNotOptimize(rec.text.data());
    return s;
}

// The cost of writing the trace: the ratio of the sweep with every line written
// to the sweep with the lines left out.
void TraceOfSweep(benchmark::State& state) {
    const bool overlays = state.range(0) != 0;
    double written = 0;
    double bare = 0;
    long lines = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bare += playSweep(overlays, false, lines, bytes);
        const double s = playSweep(overlays, true, lines, bytes);
        written += s;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["bare_ms"] = bare / n * 1000;
    state.counters["ratio"] = written / bare;
    state.SetLabel("ratio target <= 1.5");
}
BENCHMARK(TraceOfSweep)
    ->ArgName("overlays")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// One float's shortest text, over coordinates of the plane.
void ShortestFloat(benchmark::State& state) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> plane(-400.0f, 400.0f);
    std::vector<float> values(1 << 16);
    for (float& v : values) {
        v = plane(rng);
    }
    char buf[zm::shortestFloatMaxChars];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zm::writeShortestFloat(buf, values[i++ & (values.size() - 1)]));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ShortestFloat);

} // namespace
