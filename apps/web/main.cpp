// zebo-morlix in the browser: the program on the page's canvas, driven by the
// page's keys, buttons and double clicks, after replaying the keys in its link.
// The picture is also kept as segments, so that the page can draw it again at a
// new size and take it away as SVG or CSV. The page's Mechanism panel changes
// the mechanism: the program is then started again with it, replaying the keys
// played so far.

#include "PageMechanism.h"
#include "picture/SegmentPicture.h"
#include "profiles/ProfileText.h"
#include "script/KeyScript.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"
#include "window/web/CanvasSurface.h"
#include "window/web/WebHost.h"

#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <cstring>
#include <memory>
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
//   first frame). The page's Module sets nothing, so it is simply true;
// - stackSave and stackRestore, with which each run starts at the stack's top
//   (keepStackTop).
#ifdef EM_JS_DEPS
EM_JS_DEPS(zm_page, "$lengthBytesUTF8,$stringToUTF8,$UTF8ToString,$noExitRuntime,$stackSave,$stackRestore");
#endif

namespace {

// Bytes the page hands over (the link's keys, or keys to check) are copied as
// they are, NUL and bytes that are not UTF-8 included, so that the parser sees
// what the renderer would.
EM_JS(char*, pageBytes, (int which, int* length), {
    const s = zm.link.bytes(which);
    const p = _malloc(s.length + 1);
    HEAPU8.set(s, p);
    HEAPU8[p + s.length] = 0;
    HEAP32[length >> 2] = s.length;
    return p;
});
constexpr int linkKeys = 0;
constexpr int keysToCheck = 1;
constexpr int mechanismToRead = 2; // the link's, a mechanism file's, or the panel's lengths
constexpr int profileToRead = 3;   // a profile file's bytes
// The rows the page hands over (setMechanism): angles and lifts into the heap.
EM_JS(void, pageRows, (double* angle, double* lift), {
    const rows = zm.mechanism.rows;
    for (let i = 0; i < rows.length; i++) {
        HEAPF64[(angle >> 3) + i] = rows[i][0];
        HEAPF64[(lift >> 3) + i] = rows[i][1];
    }
});
EM_JS(int, pageRowCount, (), { return zm.mechanism.rows.length; });
EM_JS(void, reportLink, (const char* message), { zm.link.report(UTF8ToString(message)); });
EM_JS(void, announceStart, (), { zm.started(); });
EM_JS(void, reportLinkMechanism, (const char* message), { zm.mechanism.refused(UTF8ToString(message)); });

// The mechanism the program runs with (prepared), and the run drawing it.
zm::Mechanism theMechanism;
std::unique_ptr<zm::WebHost> theHost;
std::unique_ptr<zm::Form1> theForm;

std::string pageText(int which) {
    int length = 0;
    char* text = pageBytes(which, &length);
    std::string out(text, static_cast<std::size_t>(length));
    std::free(text);
    return out;
}

int framePumps() {
    return zm::script::pumpsPerFrame(static_cast<int>(theMechanism.profile.rows()));
}

// The steps of the page's link, if it reads as a script; otherwise none, and the
// page says why. Whether every step can be played shows as they are played.
std::vector<zm::script::Step> linkSteps() {
    const std::string script = pageText(linkKeys);
    std::string error;
    std::vector<zm::script::Step> steps = zm::script::readScript(script, error, {}, framePumps());
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

char* result(const std::string& fault) {
    return fault.empty() ? nullptr : copyOut(fault);
}

// Takes m as the mechanism once it is prepared; its fault otherwise.
char* adopt(zm::Mechanism& m, std::string fault) {
    if (fault.empty()) {
        fault = zm::prepareMechanism(m);
    }
    if (fault.empty()) {
        theMechanism = std::move(m);
    }
    return result(fault);
}

} // namespace

// Keys the page is about to play (an opened file, a part of it at a time): the
// parser's message if they do not read as a script, else nothing.
extern "C" EMSCRIPTEN_KEEPALIVE char* zmCheck() {
    std::string error;
    zm::script::readScript(pageText(keysToCheck), error, {}, framePumps());
    return result(error);
}

// The mechanism's changes, each checked whole before it is taken: 0 the
// lengths and checking lift as text (the page's fields, the rows kept), 1 a
// whole mechanism's text (a link or a mechanism file), 2 the rows with the
// lengths (setMechanism), 3 a profile file's text, 4 the built-in mechanism.
// Returns the refusal's message, or nothing when the mechanism is taken; the
// page then starts the program again.
extern "C" EMSCRIPTEN_KEEPALIVE char* zmSetMechanism(int how) {
    zm::Mechanism m = how == 4 ? zm::Mechanism{} : theMechanism;
    std::string fault;
    if (how == 0 || how == 2) {
        fault = zm::page::readLengths(pageText(mechanismToRead), m);
    } else if (how == 1) {
        fault = zm::page::readMechanismText(pageText(mechanismToRead), m);
    } else if (how == 3) {
        fault = zm::readProfileText(pageText(profileToRead), m.profile);
    }
    const std::size_t n = static_cast<std::size_t>(pageRowCount());
    if (how == 2 && fault.empty()) {
        if (n > zm::LiftProfile::maxRows) {
            return copyOut("the profile has more than " + std::to_string(zm::LiftProfile::maxRows) + " rows");
        }
        m.profile = zm::LiftProfile{};
        m.profile.angle.resize(n);
        m.profile.lift.resize(n);
        pageRows(m.profile.angle.data(), m.profile.lift.data());
        zm::page::fallingRows(m.profile);
    }
    return adopt(m, fault);
}
// The mechanism as the link writes it (allRows: with the built-in rows too).
extern "C" EMSCRIPTEN_KEEPALIVE char* zmMechanismText(int allRows) {
    return copyOut(zm::page::mechanismText(theMechanism, allRows != 0));
}

// The valve events of the run so far, as the renderer's --events writes them.
extern "C" EMSCRIPTEN_KEEPALIVE char* zmEvents() {
    if (!theForm) {
        return copyOut("");
    }
    return copyOut(zm::eventsCsv(theForm->firstProfileEvent(), theForm->frameEvents()));
}
// The figures of the readout's events line: 0 the checking lift, 1 the first
// profile's duration, 2 the latest completed frame's moving trace duration
// (NaN before one).
extern "C" EMSCRIPTEN_KEEPALIVE double zmEventFigure(int which) {
    if (!theForm) {
        return __builtin_nan("");
    }
    if (which == 0) {
        return theForm->checkingLift();
    }
    if (which == 1) {
        return theForm->firstProfileEvent().duration;
    }
    const auto& frames = theForm->frameEvents();
    return frames.empty() ? __builtin_nan("") : frames.back().movingTrace.duration;
}

// One run of the program with the mechanism, replaying the page's keys: at the
// start, and each time the mechanism changes (the run before has then left its
// stack for good, and is dropped here).
extern "C" EMSCRIPTEN_KEEPALIVE void zmRun() {
    // The picture outlives the program: the page can still be resized and saved
    // after it has ended.
    static zm::CanvasSurface canvas;
    static zm::picture::SegmentPicture picture(&canvas);
    canvas.keep(picture);
    const bool again = theHost != nullptr;
    theForm.reset();
    theHost = std::make_unique<zm::WebHost>(linkSteps(), canvas);
    if (again) {
        theHost->yieldInFirstFrame();
    }
    theForm = std::make_unique<zm::Form1>(picture, *theHost, theMechanism);
    canvas.setPlane(theForm->plane());
    theHost->attach(*theForm);
    // Returns when the sweep has passed its last frame; a key that ends the
    // program, or a new mechanism, leaves in the host and never returns here.
    theForm->run();
    theHost->finish();
}

// Each run starts at the stack's top. A run left for good keeps its frames on
// the program's stack (pausing unwinds the calls, not the stack pointer), so
// without this every new mechanism would take a little more of it, for good.
EM_JS(void, keepStackTop, (), {
    const top = stackSave();
    zm.mechanism.stackTop = function() {
        stackRestore(top);
    };
});

int main() {
    keepStackTop();
    // The link's mechanism, if it has one; the built-in one if it cannot be used.
    if (const std::string text = pageText(mechanismToRead); !text.empty()) {
        zm::Mechanism m;
        if (char* fault = adopt(m, zm::page::readMechanismText(text, m)); fault != nullptr) {
            reportLinkMechanism(fault);
            std::free(fault);
        }
    }
    announceStart();
    zmRun();
    return 0;
}
