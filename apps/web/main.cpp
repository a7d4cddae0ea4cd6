// zebo-morlix in the browser: the program on the page's canvas, driven by the
// page's keys, buttons and double clicks, after replaying the keys in its link.
// The picture is also kept as segments, so that the page can draw it again at a
// new size and take it away as SVG or CSV.

#include "picture/SegmentPicture.h"
#include "script/KeyScript.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"
#include "window/web/CanvasSurface.h"
#include "window/web/WebHost.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// What the program needs of the runtime's JavaScript, named for runtimes that
// include only what is named (older ones have no such list, and always include
// all of it):
// - the string functions the JavaScript below calls;
// - noExitRuntime, which keeps the runtime when main returns to the browser at
//   the program's first pause. Without it, the runtime takes that return for
//   the program's end and never resumes it (the page gets no further than the
//   first frame). The page's Module sets nothing, so it is simply true.
#ifdef EM_JS_DEPS
EM_JS_DEPS(zm_page, "$lengthBytesUTF8,$stringToUTF8,$UTF8ToString,$noExitRuntime");
#endif

namespace {

// Bytes the page hands over (the link's keys, or keys to check) are copied as
// they are, NUL and bytes that are not UTF-8 included, so that the parser sees
// what the renderer would.
EM_JS(char*, pageBytes, (int which, int* length), {
    const s = which ? zm.link.checked() : zm.link.script();
    const p = _malloc(s.length + 1);
    HEAPU8.set(s, p);
    HEAPU8[p + s.length] = 0;
    HEAP32[length >> 2] = s.length;
    return p;
});
constexpr int linkKeys = 0;
constexpr int keysToCheck = 1;
EM_JS(void, reportLink, (const char* message), { zm.link.report(UTF8ToString(message)); });
EM_JS(void, announceStart, (), { zm.started(); });

// The steps of the page's link, if it reads as a script; otherwise none, and the
// page says why. Whether every step can be played shows as they are played.
std::vector<zm::script::Step> linkSteps() {
    int length = 0;
    char* text = pageBytes(linkKeys, &length);
    const std::string script(text, static_cast<std::size_t>(length));
    std::free(text);
    std::string error;
    std::vector<zm::script::Step> steps = zm::script::readScript(script, error);
    if (!error.empty()) {
        reportLink(error.c_str());
    }
    return steps;
}

char* copyOut(const std::string& text) {
    char* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (p != nullptr) {
        std::memcpy(p, text.c_str(), text.size() + 1);
    }
    return p;
}

} // namespace

// Keys the page is about to play (an opened file, a part of it at a time): the
// parser's message if they do not read as a script, else nothing.
extern "C" EMSCRIPTEN_KEEPALIVE char* zmCheck() {
    int length = 0;
    char* text = pageBytes(keysToCheck, &length);
    std::string error;
    zm::script::readScript(std::string_view(text, static_cast<std::size_t>(length)), error);
    std::free(text);
    return error.empty() ? nullptr : copyOut(error);
}

int main() {
    // The picture outlives the program: the page can still be resized and saved
    // after it has ended.
    static zm::CanvasSurface canvas;
    static zm::picture::SegmentPicture picture(&canvas);
    canvas.keep(picture);
    announceStart();
    zm::WebHost host(linkSteps(), canvas);
    zm::Form1 form(picture, host);
    canvas.setPlane(form.plane());
    host.attach(form);
    // Returns when the sweep has passed its last frame; a key that ends the
    // program finishes in the host and never returns here.
    form.run();
    host.finish();
    return 0;
}
