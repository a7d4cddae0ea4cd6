// The trace program on Windows: the arguments in UTF-8 from the wide command
// line, and a standard output in binary mode.

#include "Platform.h"

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

// The arguments in UTF-8, and the pointers to them that main passes on: kept
// for the whole run.
std::vector<std::string> utf8;
std::vector<char*> utf8Pointers;

} // namespace

namespace zm::trace {

void beforeRun(int& argc, char**& argv) {
    utf8 = utf8Arguments();
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
}

int runEnds(int status) {
    return status;
}

} // namespace zm::trace
