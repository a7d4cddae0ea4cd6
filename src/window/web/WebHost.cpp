#include "window/web/WebHost.h"

#include "window/Sweep.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <algorithm>

// The runtime's function that the JavaScript below calls (see apps/web/main.cpp).
#ifdef EM_JS_DEPS
EM_JS_DEPS(zm_host, "$UTF8ToString");
#endif

namespace zm {

namespace {

constexpr int doubleClick = -1;
constexpr int nothing = -2;
constexpr int jumpRequest = -3;
// Work between two visits of the browser: well inside a display refresh, so
// that no task the page runs comes near 50 ms even on a slow machine. While
// frames pile up the browser also gets a visit after
// CanvasSurface::strokesPerTurn strokes, which it paints after the visit
// (without piling, a frame's clear spares it the strokes of the frame before).
constexpr double sliceMs = 5;

EM_JS(int, nextInput, (), { return zm.input.next(); });
EM_JS(int, inputWaiting, (), { return zm.input.queue.length > 0 ? 1 : 0; });
EM_JS(int, jumpTarget, (), { return zm.input.jumpTarget(); });
EM_JS(void, recordStep, (const char* step), { zm.history.add(UTF8ToString(step)); });
EM_JS(void, reportCut, (const char* message), { zm.link.cut(UTF8ToString(message)); });
EM_JS(void, reportOver, (const char* message), { zm.link.over(UTF8ToString(message)); });
EM_JS(void, publishState, (int frame, double k, int acc, int ccllss, int waiting, int ended, int replaying), {
    zm.publish({
        frame : frame,
        k : k,
        acc : acc,
        ccllss : ccllss,
        waiting : !!waiting,
        ended : !!ended,
        replaying : !!replaying
    });
});
// Lets the browser run (paint, take input) and comes back at once. The page's
// script holds the JavaScript (which a C++ formatter would mangle here).
EM_ASYNC_JS(void, yieldToBrowser, (), { await zm.pause(); });
// Sleeps until the page has input: no timer, no polling.
EM_ASYNC_JS(void, awaitInput, (), { await zm.input.wait(); });
EM_JS(void, announceEnd, (int byUser), { zm.end(!!byUser); });
// The page has a new mechanism: this run leaves its stack for good, and the page
// starts the program again in a task of its own (apps/web/main.cpp, zmRun).
EM_JS(int, restartWanted, (), { return zm.mechanism.wanted ? 1 : 0; });
EM_ASYNC_JS(void, leaveForRestart, (), {
    zm.mechanism.leave();
    await zm.never();
});
// Leaves the program's stack for good: it is unwound to the page and never resumed.
EM_ASYNC_JS(void, leaveForGood, (), { await zm.never(); });

script::Step keyStep(std::uint16_t code, std::uint32_t count) {
    script::Step s;
    s.code = code;
    s.count = count;
    return s;
}

} // namespace

WebHost::WebHost(std::vector<script::Step> script, CanvasSurface& canvas)
    : ScriptHost(std::move(script)), canvas_(canvas) {
    lastYield_ = emscripten_get_now();
}

void WebHost::publish(bool waiting) {
    const Form1& f = form();
    publishState(frame(), f.k, f.acc, f.ccllss, waiting ? 1 : 0, f.ended() ? 1 : 0, scriptDone() ? 0 : 1);
}

void WebHost::deliver(const script::Step& s) {
    const std::string key = script::scriptKey(s);
    recordStep(
        (atWait_ ? key : key + "@" + std::to_string(frame()) + "." + std::to_string(pumpInFrame())).c_str());
    ScriptHost::deliver(s);
    if (form().ended()) {
        // Escape or a double click: the animation is not returned to.
        finish();
        leaveForGood();
    }
}

void WebHost::finish() {
    canvas_.flush();
    if (canvas_.pileFull()) {
        canvas_.keepPile();
    }
    reportLeftOver();
    publish(false);
    announceEnd(form().ended() ? 1 : 0);
}

void WebHost::cut(std::size_t from, const std::string& why) {
    dropSteps(from);
    reportCut(why.c_str());
}

void WebHost::cancelReplayOnInput() {
    if (!scriptDone() && inputWaiting() != 0) {
        dropSteps(0);
    }
}

void WebHost::doEvents() {
    // The replay's timed steps due at the coming pump are played there; one whose
    // pump has already passed cannot be, and the replay stops before it.
    const int n = pumpInFrame() % pumpsInAFrame() + 1;
    const int f = frame() + (pumpInFrame() % pumpsInAFrame() == 0 ? 1 : 0);
    for (std::size_t i = 0; pendingStep(i) != nullptr && pendingStep(i)->timed; ++i) {
        const script::Step& s = *pendingStep(i);
        if (s.frame == f && s.pump == n) {
            continue;
        }
        if (const std::string why = tooLate(s, f, n); !why.empty()) {
            cut(i, why);
        }
        break;
    }
    atWait_ = false;
    ScriptHost::doEvents();
}

void WebHost::waitForEvents() {
    cancelReplayOnInput();
    if (const script::Step* s = pendingStep(0); s != nullptr) {
        if (const std::string why = unreachable(*s); !why.empty()) {
            cut(0, why);
        }
    }
    atWait_ = true;
    ScriptHost::waitForEvents();
}

void WebHost::reportLeftOver() {
    // In the renderer's words: the run of the step due counted from where it stands.
    if (const std::string left = leftOver(); !left.empty()) {
        dropSteps(0);
        reportOver(left.c_str());
    }
}

bool WebHost::deliverNext(bool atWait) {
    const int input = nextInput();
    if (input == nothing) {
        return false;
    }
    if (input == jumpRequest) {
        // Back to the first frame, then plain steps to the chosen one, played as
        // a replay: as fast as the program runs, and cut short by any input.
        const int target = std::clamp(jumpTarget(), 0, Sweep::lastFrame);
        std::vector<script::Step> steps{keyStep(32, 1)};
        if (target > 0) {
            steps.push_back(keyStep(120, static_cast<std::uint32_t>(target)));
        }
        addSteps(steps);
        if (atWait) {
            atWait_ = true;
            playNext();
        }
        return true;
    }
    script::Step step;
    if (input == doubleClick) {
        step.kind = script::Step::Kind::dblclick;
    } else {
        step.code = static_cast<std::uint16_t>(input);
    }
    atWait_ = atWait;
    deliver(step);
    return true;
}

void WebHost::moreEvents() {
    cancelReplayOnInput();
    // The replay first; the user's input waits behind it (or has just cut it).
    const auto deliverAll = [this] {
        while (scriptDone() && !form().ended() && deliverNext(false)) {
        }
    };
    deliverAll();
    // The first frame is drawn in one go, so that it is on the screen as early as
    // possible: the page's first paint waits for it, and paints once.
    const double now = emscripten_get_now();
    const bool piling = form().ccllss != 0;
    if ((now - lastYield_ >= sliceMs || (piling && canvas_.pending() >= CanvasSurface::strokesPerTurn)) &&
        (frame() > 1 || firstFrameYields_) && !form().ended()) {
        canvas_.flush();
        publish(false);
        yieldToBrowser();
        if (canvas_.pileFull()) {
            // The pile's pixels are kept in a turn of their own: copying them
            // paints what is not painted yet, which the turn's drawing would add to.
            canvas_.keepPile();
            yieldToBrowser();
        }
        if (restartWanted() != 0) {
            leaveForRestart();
        }
        lastYield_ = emscripten_get_now();
        cancelReplayOnInput();
        deliverAll();
    }
}

void WebHost::waitWithoutSteps() {
    // One input per wait: a second one is handled in the next frame, where the
    // link can say when.
    canvas_.flush();
    if (canvas_.pileFull()) {
        // In a turn of its own, as in moreEvents; the wait below ends that turn.
        yieldToBrowser();
        canvas_.keepPile();
    }
    while (restartWanted() == 0 && !deliverNext(true)) {
        publish(true);
        awaitInput();
    }
    if (restartWanted() != 0) {
        leaveForRestart();
    }
    lastYield_ = emscripten_get_now();
}

} // namespace zm
