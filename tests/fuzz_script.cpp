// libFuzzer target: any bytes as a key script, parsed and, when valid, played
// through the program into a recorder. Nothing may crash, hang or trip a sanitizer.

#include "picture/RecordingSurface.h"
#include "script/ScriptHost.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zm;
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    std::vector<script::Step> steps;
    try {
        steps = script::parseScript(script);
    } catch (const script::ScriptError&) {
        return 0;
    }
    // Every frame needs a step to end, so this bounds the run to about 65 frames.
    if (script::countSteps(steps) > 64) {
        return 0;
    }
    picture::RecordingSurface rec;
    script::ScriptHost host(std::move(steps), &rec);
    Form1 form(rec, host);
    host.attach(form);
    try {
        host.play();
    } catch (const script::ScriptError&) {
    }
    for (const picture::Op& op : rec.ops) {
        if (!std::isfinite(op.x1) || !std::isfinite(op.y1) || !std::isfinite(op.x2) ||
            !std::isfinite(op.y2)) {
            std::abort();
        }
    }
    if ((form.acc != 0 && form.acc != 1) || (form.kk != 0 && form.kk != 1) ||
        (form.ccllss != 0 && form.ccllss != 1)) {
        std::abort();
    }
    return 0;
}
