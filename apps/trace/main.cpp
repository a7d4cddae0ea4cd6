// zebo-morlix-trace: the renderer's command line without the raster and PDF
// pictures, for any platform with a C++ standard library (compiled to
// WebAssembly, it runs under Node): plays a key script and writes the trace of
// drawing operations, the SVG picture and its points.

#include "cli/Main.h"

#include <cstdlib>

#ifdef __EMSCRIPTEN__
#include <emscripten/em_js.h>
#include <emscripten/emscripten.h>

namespace {

// Tells the launcher under Node (node-launch.js) that the run has come to its
// end with this status: a runtime that ends the program before this is said to
// have failed, and never passes for a run that succeeded.
EM_JS(void, hostRunEnds, (int status), { zmNode.runEnds(status); });

} // namespace
#endif

#ifdef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs

namespace {

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

} // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> utf8 = utf8Arguments();
    std::vector<char*> utf8Pointers;
    for (std::string& a : utf8) {
        utf8Pointers.push_back(a.data());
    }
    utf8Pointers.push_back(nullptr);
    if (utf8Pointers.size() > 1) {
        argc = static_cast<int>(utf8Pointers.size()) - 1;
        argv = utf8Pointers.data();
    }
    // The trace is the same bytes everywhere: no carriage returns on Windows.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const int status = zm::cli::main(zm::cli::Program::trace, argc, argv);
#ifdef __EMSCRIPTEN__
    // Under Node main may have returned already, for the while, at the
    // program's first pause for the event loop (the runtime then waits): the
    // status is given here, where the run really ends.
    hostRunEnds(status);
    std::exit(status);
#endif
    return status;
}
