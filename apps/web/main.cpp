// zebo-morlix in the browser: the program on the page's canvas, driven by the
// page's keys, buttons and double clicks, after replaying the keys in its link.

#include "KeyScript.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/web/CanvasSurface.h"
#include "window/web/WebHost.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

EM_JS(char*, linkScript, (), {
    const s = zm.link.script();
    const size = lengthBytesUTF8(s) + 1;
    const p = _malloc(size);
    stringToUTF8(s, p, size);
    return p;
});
EM_JS(void, reportLink, (const char* message), { zm.link.report(UTF8ToString(message)); });
EM_JS(void, recordLinkStep, (const char* step), { zm.history.add(UTF8ToString(step)); });
EM_JS(void, announceEnd, (int byUser), { zm.end(!!byUser); });

// Draws nothing: for playing a script through once to see that it can be played.
class NoSurface : public zm::Surface {
  public:
    void line(float, float, float, float, zm::Colour) override {}
    void setDrawWidth(int) override {}
    void setForeColor(zm::Colour) override {}
    void cls() override {}
};

// The steps of the page's link, if they can all be played; otherwise none, and
// the page says why.
std::vector<zm::replay::Step> linkSteps() {
    char* text = linkScript();
    const std::string script(text);
    std::free(text);
    try {
        std::vector<zm::replay::Step> steps = zm::replay::parseScript(script);
        NoSurface none;
        zm::replay::ScriptHost trial(steps);
        zm::Form1 form(none, trial);
        trial.attach(form);
        trial.play();
        for (const zm::replay::Step& s : steps) {
            recordLinkStep(zm::replay::stepText(s).c_str());
        }
        return steps;
    } catch (const zm::replay::ScriptError& e) {
        reportLink(e.what());
    }
    return {};
}

} // namespace

int main() {
    zm::CanvasSurface canvas;
    zm::WebHost host(linkSteps(), canvas);
    zm::Form1 form(canvas, host);
    host.attach(form);
    form.run();
    canvas.flush();
    host.publish(false);
    announceEnd(form.ended() ? 1 : 0);
    return 0;
}
