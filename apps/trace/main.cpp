// zebo-morlix-trace: the renderer's trace without any picture, for any platform
// with a C++ standard library (compiled to WebAssembly, it runs under Node):
// plays a key script and writes one line per drawing operation.
//
//   zebo-morlix-trace [--keys SCRIPT] [--sweep] [--trace FILE|-]

#include "KeyScript.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/RecordingSurface.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const usage = "usage: zebo-morlix-trace [--keys SCRIPT] [--sweep] [--trace FILE|-]\n";

// Keeps the trace in memory; it is written only when the run has succeeded.
class TraceText : public zm::RecordingSurface {
  public:
    std::string text;

  protected:
    void record(const zm::Op& op) override {
        text += zm::traceLine(op);
        text.push_back('\n');
    }
};

int fail(const std::string& message) {
    std::fprintf(stderr, "zebo-morlix-trace: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string keys;
    std::string trace;
    bool sweep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--keys" || a == "--trace") && i + 1 < argc) {
            (a == "--keys" ? keys : trace) = argv[++i];
        } else if (a == "--sweep") {
            sweep = true;
        } else if (a == "-h" || a == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else {
            return fail("unexpected argument '" + a + "' (" + std::string(usage, std::strlen(usage) - 1) +
                        ")");
        }
    }
    TraceText rec;
    try {
        std::vector<zm::replay::Step> steps = zm::replay::parseScript(keys);
        if (sweep) {
            zm::replay::appendSweep(steps);
        }
        zm::replay::ScriptHost host(steps, &rec);
        zm::Form1 form(rec, host);
        host.attach(form);
        host.play();
    } catch (const zm::replay::ScriptError& e) {
        return fail(e.what());
    }
    if (trace.empty()) {
        return 0;
    }
    std::FILE* out = trace == "-" ? stdout : std::fopen(trace.c_str(), "wb");
    if (out == nullptr) {
        return fail("cannot write --trace file '" + trace + "': " + std::strerror(errno));
    }
    const bool written = std::fwrite(rec.text.data(), 1, rec.text.size(), out) == rec.text.size();
    const bool closed = (trace == "-" ? std::fflush(out) : std::fclose(out)) == 0;
    if (!written || !closed) {
        return fail("cannot write the trace to " +
                    (trace == "-" ? std::string("standard output") : "'" + trace + "'"));
    }
    return 0;
}
