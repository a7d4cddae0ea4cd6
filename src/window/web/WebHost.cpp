#include "window/web/WebHost.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

namespace zm {

namespace {

constexpr int doubleClick = -1;
constexpr int nothing = -2;
constexpr double refreshMs = 1000.0 / 60;

EM_JS(int, nextInput, (), { return zm.input.next(); });
EM_JS(void, recordStep, (const char* step), { zm.history.add(UTF8ToString(step)); });
EM_JS(void, publishState, (int frame, double k, int acc, int ccllss, int waiting, int ended), {
    zm.publish({frame : frame, k : k, acc : acc, ccllss : ccllss, waiting : !!waiting, ended : !!ended});
});
// Lets the browser run (paint, take input) and comes back at once. The page's
// script holds the JavaScript (which a C++ formatter would mangle here).
EM_ASYNC_JS(void, yieldToBrowser, (), { await zm.pause(); });
// Sleeps until the page has input: no timer, no polling.
EM_ASYNC_JS(void, awaitInput, (), { await zm.input.wait(); });

} // namespace

WebHost::WebHost(std::vector<replay::Step> script, CanvasSurface& canvas)
    : ScriptHost(std::move(script)), canvas_(canvas) {
    lastYield_ = emscripten_get_now();
}

void WebHost::publish(bool waiting) {
    const Form1& f = form();
    publishState(frame(), f.k, f.acc, f.ccllss, waiting ? 1 : 0, f.ended() ? 1 : 0);
}

bool WebHost::deliverNext(bool atWait) {
    const int input = nextInput();
    if (input == nothing) {
        return false;
    }
    replay::Step step;
    if (input == doubleClick) {
        step.kind = replay::Step::Kind::dblclick;
    } else {
        step.code = static_cast<std::uint16_t>(input);
    }
    const std::string key = replay::scriptKey(step);
    recordStep(
        (atWait ? key : key + "@" + std::to_string(frame()) + "." + std::to_string(pumpInFrame())).c_str());
    deliver(step);
    return true;
}

void WebHost::moreEvents() {
    // The link's script first; the user's input waits behind it.
    const auto deliverAll = [this] {
        while (scriptDone() && !form().ended() && deliverNext(false)) {
        }
    };
    deliverAll();
    // The first frame is drawn in one go, so that it is on the screen as early as
    // possible: the page's first paint waits for it, and paints once.
    const double now = emscripten_get_now();
    if (now - lastYield_ >= refreshMs && frame() > 1 && !form().ended()) {
        canvas_.flush();
        publish(false);
        yieldToBrowser();
        lastYield_ = emscripten_get_now();
        deliverAll();
    }
}

void WebHost::waitWithoutSteps() {
    // One input per wait: a second one is handled in the next frame, where the
    // link can say when.
    canvas_.flush();
    while (!deliverNext(true)) {
        publish(true);
        awaitInput();
    }
    lastYield_ = emscripten_get_now();
}

} // namespace zm
