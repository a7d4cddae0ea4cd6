// Measurements of the trace's writing: the whole sweep played into a recorder
// that writes every trace line, against the same run with the formatting left
// out; and the shortest float text on its own.

#include "math/ShortestFloat.h"
#include "picture/PictureText.h"
#include "script/KeyScript.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// How the recorder handles each line: writes it (kept in memory, as the trace
// program does), keeps a fixed line of the sweep's average length (44 bytes) in
// its place (the run with the formatting left out), or only counts it.
enum class Lines { written, unformatted, counted };

class Recorder : public zm::picture::RecordingSurface {
  public:
    explicit Recorder(Lines mode) : mode_(mode) {}
    std::string text;
    long lines = 0;

  protected:
    void record(const zm::picture::Op& op) override {
        ++lines;
        if (mode_ == Lines::written) {
            char line[zm::picture::traceLineMaxChars + 1];
            char* end = zm::picture::writeTraceLine(line, op);
            *end++ = '\n';
            text.append(line, end);
        } else if (mode_ == Lines::unformatted) {
            text += std::string_view("line 165.6002 -0.5 164.78 -0.4 3 0x0000FF00\n");
        }
    }

  private:
    Lines mode_;
};

// Processor seconds to play the whole sweep (with the overlays piling up, or
// not): the machine's other work does not count.
double playSweep(bool overlays, Lines mode, long& lines, std::size_t& bytes) {
    std::vector<zm::script::Step> steps = zm::script::parseScript(overlays ? "backspace slash" : "");
    zm::script::appendSweep(steps);
    Recorder rec(mode);
    const std::clock_t start = std::clock();
    zm::script::ScriptHost host(steps, &rec);
    zm::Form1 form(rec, host);
    host.attach(form);
    host.play();
    const double s = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    lines = rec.lines;
    bytes = rec.text.size();
    benchmark::DoNotOptimize(rec.text.data());
    return s;
}

// The cost of formatting the trace: the whole sweep with every line written,
// against the same run keeping a fixed line in place of each (ratio, target at
// most 1.5), and against the run that only counts the lines.
void TraceOfSweep(benchmark::State& state) {
    const bool overlays = state.range(0) != 0;
    double written = 0;
    double unformatted = 0;
    double counted = 0;
    long lines = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        counted += playSweep(overlays, Lines::counted, lines, bytes);
        unformatted += playSweep(overlays, Lines::unformatted, lines, bytes);
        const double s = playSweep(overlays, Lines::written, lines, bytes);
        written += s;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["unformatted_ms"] = unformatted / n * 1000;
    state.counters["counted_ms"] = counted / n * 1000;
    state.counters["ratio"] = written / unformatted;
    state.SetLabel("ratio to the unformatted run: target <= 1.5");
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
    char buf[zm::cr::shortestFloatMaxChars];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zm::cr::writeShortestFloat(buf, values[i++ & (values.size() - 1)]));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(ShortestFloat);

} // namespace
