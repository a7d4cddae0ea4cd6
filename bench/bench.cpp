// Measurements of the program's cost: one frame on the offscreen canvas against
// the floor of rasterizing the same segments straight into a Qt image, the same
// frame into the recorder only, the geometry on its own, the window's event
// pump, the whole sweep through the headless renderer, and key to picture
// (the frame against the profile's rows is in rows.cpp).

#include "Frames.h"
#include "picture/RecordingSurface.h"
#include "picture/StrokePlan.h"
#include "window/Form1.h"
#include "window/qt/FormWindow.h"
#include "window/qt/ImageSurface.h"
#include "window/qt/VectorState.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using zm::Form1;
using namespace zm::bench;

const QSize design(zm::design::clientWidth, zm::design::clientHeight);

// How one segment reaches the raster, as the canvas draws it: nothing (not
// finite, or wholly outside), a filled rectangle of whole pixels, or an
// antialiased stroke with round caps.
struct Stroke {
    enum class Kind { none, fill, line };
    Kind kind = Kind::none;
    QRect rect;
    QLineF line;
    QColor colour;
    qreal width = 1;
};

// The stroke for a segment of the plane on a canvas of the given device size.
Stroke strokeOf(const zm::picture::Op& op, int width, qreal dpr, QSize device) {
    const zm::picture::StrokePlan p = zm::picture::planStroke(zm::UserScale{}, op.x1, op.y1, op.x2, op.y2,
                                                              width, dpr, device.width(), device.height());
    Stroke s;
    s.colour = QColor(static_cast<int>(op.colour & 0xFF), static_cast<int>((op.colour >> 8) & 0xFF),
                      static_cast<int>((op.colour >> 16) & 0xFF));
    s.width = p.width;
    switch (p.kind) {
    case zm::picture::StrokePlan::Kind::none:
        break;
    case zm::picture::StrokePlan::Kind::fill:
        s.kind = Stroke::Kind::fill;
        s.rect = QRect(p.left, p.top, p.across, p.down);
        break;
    case zm::picture::StrokePlan::Kind::line:
        s.kind = Stroke::Kind::line;
        s.line = QLineF(p.x1, p.y1, p.x2, p.y2);
        break;
    }
    return s;
}

// The segments of one whole frame (from one wait to the next), as strokes for the canvas.
std::vector<Stroke> oneFrame(bool overlays, std::size_t& segments) {
    zm::picture::RecordingSurface rec;
    int waits = 0;
    runFrames(rec, overlays, [&] {
        rec.mark(zm::picture::Op::Kind::wait);
        return ++waits < 3;
    });
    std::vector<Stroke> out;
    int width = 1;
    bool inFrame = false;
    segments = 0;
    for (const zm::picture::Op& op : rec.ops) {
        if (op.kind == zm::picture::Op::Kind::wait) {
            if (inFrame) {
                break;
            }
            inFrame = true;
            continue;
        }
        if (!inFrame) {
            continue;
        }
        if (op.kind == zm::picture::Op::Kind::cls) {
            out.push_back(Stroke{}); // a clear
            out.back().width = -1;
            continue;
        }
        width = op.width;
        out.push_back(strokeOf(op, width, 1, design));
        ++segments;
    }
    return out;
}

// One frame into the offscreen canvas, and beside it, in the same run, the same
// segments rasterized by Qt alone.
void FrameAgainstFloor(benchmark::State& state) {
    const bool overlays = state.range(0) != 0;
    std::size_t segments = 0;
    const std::vector<Stroke> strokes = oneFrame(overlays, segments);
    QImage floorImage(design, QImage::Format_RGB32);
    floorImage.fill(Qt::white);
    QPainter p(&floorImage);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);

    zm::ImageSurface canvas(design, 1);
    std::vector<double> frames, floors;
    Clock::time_point start{};
    bool started = false;
    runFrames(canvas, overlays, [&] {
        const auto now = Clock::now();
        if (started) {
            frames.push_back(ms(now - start));
            state.SetIterationTime(frames.back() / 1000);
            // The floor: the same strokes, nothing but Qt calls.
            const auto f0 = Clock::now();
            for (const Stroke& s : strokes) {
                if (s.width < 0) {
                    floorImage.fill(Qt::white);
                } else if (s.kind == Stroke::Kind::fill) {
                    p.fillRect(s.rect, s.colour);
                } else if (s.kind == Stroke::Kind::line) {
                    if (pen.color() != s.colour || pen.widthF() != s.width) {
                        pen.setColor(s.colour);
                        pen.setWidthF(s.width);
                        p.setPen(pen);
                    }
                    p.drawLine(s.line);
                }
                zm::releaseUpperVectorState(); // as the canvas does after each call into Qt
            }
            floors.push_back(ms(Clock::now() - f0));
        }
        if (!state.KeepRunning()) {
            return false;
        }
        started = true;
        start = Clock::now();
        return true;
    });
    const double fm = median(frames), fl = median(floors);
    state.counters["frame_ms"] = fm;
    state.counters["floor_ms"] = fl;
    state.counters["ratio"] = fl > 0 ? fm / fl : 0;
    state.counters["segments"] = static_cast<double>(segments);
    state.SetLabel("target: frame <= 8 ms, ratio <= 1.10");
}
BENCHMARK(FrameAgainstFloor)
    ->ArgName("overlays")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void FrameIntoRecorder(benchmark::State& state) {
    zm::releaseUpperVectorState(); // as after any call into Qt
    zm::picture::RecordingSurface rec;
    runFrames(rec, state.range(0) != 0, [&] {
        rec.ops.clear();
        return state.KeepRunning();
    });
    state.SetLabel("target < 0.5 ms");
}
BENCHMARK(FrameIntoRecorder)->ArgName("overlays")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

struct QuietHost : zm::Host {
    void doEvents() override {}
    void waitForEvents() override {}
};

void SolveLinkage(benchmark::State& state) {
    NullSurface s;
    QuietHost h;
    Form1 form(s, h);
    form.pi = std::atan(1.0) * 4;
    form.ww = 65;
    double theta = 0;
    zm::releaseUpperVectorState();
    for (auto _ : state) {
        form.solveLinkage(theta);
        benchmark::DoNotOptimize(form.ff);
        theta += 0.01;
    }
}
BENCHMARK(SolveLinkage);

void TravelCurve(benchmark::State& state) {
    NullSurface s;
    QuietHost h;
    Form1 form(s, h);
    form.pi = std::atan(1.0) * 4;
    zm::releaseUpperVectorState();
    for (auto _ : state) {
        form.drawTravelCurve();
    }
    benchmark::DoNotOptimize(s.n);
}
BENCHMARK(TravelCurve)->Unit(benchmark::kMicrosecond);

// 600 DoEvents with nothing pending, through the real Qt event loop.
void EventPump600(benchmark::State& state) {
    zm::FormWindow w;
    w.show();
    for (int i = 0; i < 20 && !w.isExposed(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (auto _ : state) {
        for (int i = 0; i < 600; ++i) {
            w.doEvents();
        }
    }
    state.SetLabel("target < 1 ms");
}
BENCHMARK(EventPump600)->Unit(benchmark::kMicrosecond);

std::string binDir;

// The whole 63-frame sweep through the headless renderer, with one PNG at the end.
void RendererSweep(benchmark::State& state) {
    std::string keys;
    for (int i = 0; i < 63; ++i) {
        keys += "x ";
    }
    const std::string program = binDir + "/zebo-morlix-render";
    const std::string png = "/tmp/zebo-morlix-bench-sweep.png";
    long maxrss = 0;
    for (auto _ : state) {
        std::vector<std::string> args = {program, "--keys", keys, "--png", png};
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start the renderer");
            break;
        }
        int status = 0;
        rusage ru{};
        wait4(pid, &status, 0, &ru);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the renderer failed");
            break;
        }
        maxrss = std::max(maxrss, ru.ru_maxrss);
    }
    std::remove(png.c_str());
    state.counters["peak_MB"] = static_cast<double>(maxrss) / 1024;
    state.SetLabel("target < 1 s, < 80 MB");
}
BENCHMARK(RendererSweep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// From a key posted to the waiting window until the next frame has reached the
// window's backing store.
// The window, with a call each time the program is about to block, after the
// canvas has gone to the screen.
struct WatchedWindow : zm::FormWindow {
    std::function<void()> onWaiting;
    void waitForEvents() override {
        present();
        onWaiting();
        zm::FormWindow::waitForEvents();
    }
};

void KeyToPicture(benchmark::State& state) {
    WatchedWindow w;
    Clock::time_point posted{};
    bool pending = false;
    std::vector<double> latencies;
    w.onWaiting = [&] {
        if (pending) {
            latencies.push_back(ms(Clock::now() - posted));
            state.SetIterationTime(latencies.back() / 1000);
        }
        const bool more = state.KeepRunning();
        pending = more;
        posted = Clock::now();
        const int code = !more ? 27 : (w.form().k >= 19.75 ? ' ' : 'x');
        QCoreApplication::postEvent(
            &w, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QString(QChar(code))));
    };
    if (w.showAndWaitForStart()) {
        w.form().run();
    }
    state.counters["median_ms"] = median(latencies);
    state.SetLabel("target: frame + 16.7 ms");
}
BENCHMARK(KeyToPicture)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.warning=false");
    QGuiApplication app(argc, argv);
    binDir = QCoreApplication::applicationDirPath().toStdString();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
