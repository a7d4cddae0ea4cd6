// zebo-morlix-trace: the renderer's trace without any picture, for any platform
// with a C++ standard library (compiled to WebAssembly, it runs under Node):
// plays a key script and writes one line per drawing operation.
//
//   zebo-morlix-trace [--keys SCRIPT] [--sweep] [--trace FILE|-]

#include "KeyScript.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/RecordingSurface.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs
#endif

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

#ifdef _WIN32
// Windows hands main its arguments in the local code page, which cannot hold
// every key of a script: they are read again from the UTF-16 command line and
// passed on in UTF-8, as on every other platform.
std::vector<std::string> utf8Arguments() {
    std::vector<std::string> out;
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    for (int i = 0; wide != nullptr && i < n; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string a(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, a.data(), size, nullptr, nullptr);
        a.resize(a.size() - 1);
        out.push_back(a);
    }
    LocalFree(wide);
    return out;
}
#endif

int fail(const std::string& message) {
    std::fprintf(stderr, "zebo-morlix-trace: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> utf8 = utf8Arguments();
    std::vector<char*> utf8Pointers;
    for (std::string& a : utf8) {
        utf8Pointers.push_back(a.data());
    }
    if (!utf8Pointers.empty()) {
        argc = static_cast<int>(utf8Pointers.size());
        argv = utf8Pointers.data();
    }
#endif
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
#ifdef _WIN32
    // The trace is the same bytes everywhere: no carriage returns on Windows.
    if (trace == "-") {
        _setmode(_fileno(stdout), _O_BINARY);
    }
#endif
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
