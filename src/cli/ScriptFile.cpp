#include "cli/ScriptFile.h"

#include "io/Outputs.h"
#include "io/System.h"
#include "script/Quote.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zm::cli {

using io::checkInterrupt;
using script::quoted;

namespace {

void fail(const std::string& message) {
    throw UsageError(message);
}

// Bytes as they are (Windows reads text unless told otherwise), closed on exec
// where the system can.
const int inputOpenFlags = O_RDONLY | io::sys::openCloexec | io::sys::openBinary;

} // namespace

std::string inputName(const std::string& name) {
    return name == "-" ? std::string("from standard input") : quoted(name);
}

std::string readInputFile(const std::string& name, const char* option, std::size_t limit,
                          const std::string& tooLargeMessage) {
    const auto cannot = [&name, option](int err) {
        fail(std::string("cannot read ") + option + " " + inputName(name) + ": " + io::errorText(err));
    };
    int fd = 0;
    io::sys::readBytes(0);
    if (name != "-") {
        // A FIFO with no writer blocks the open until an interrupt ends it.
        for (;;) {
            checkInterrupt();
            fd = io::openMayBlock(name.c_str(), inputOpenFlags);
            if (fd >= 0) {
                break;
            }
            if (errno != EINTR) {
                cannot(errno);
            }
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd > 0) {
                ::close(fd);
            }
        }
    } closer{fd};
    const auto tooLarge = [&tooLargeMessage] { fail(tooLargeMessage); };
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        cannot(EISDIR);
    }
    if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > limit) {
        tooLarge();
    }
    // Read in pieces and joined once into a string of exactly the script's
    // size: no growing string copies itself in one long step that an interrupt
    // would wait for, or keeps twice the room it needs.
    constexpr std::size_t piece = 1 << 20;
    std::vector<std::string> pieces;
    std::size_t total = 0;
    for (bool end = false; !end;) {
        std::string& p = pieces.emplace_back(piece, '\0');
        std::size_t got = 0;
        while (got < piece) {
            checkInterrupt();
            const long n = io::readSome(fd, p.data() + got, piece - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                cannot(errno);
            }
            if (n == 0) {
                end = true;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        p.resize(got);
        total += got;
        if (total > limit) {
            tooLarge();
        }
    }
    std::string text;
    text.reserve(total);
    for (std::string& p : pieces) {
        checkInterrupt();
        text += p;
        std::string().swap(p);
    }
    return text;
}

std::vector<script::Step> readSteps(const Options& o, int pumps) {
    std::string file;
    std::string_view script = o.keys;
    if (!o.keysFile.empty()) {
        file = readInputFile(o.keysFile, "--keys-file", maxScriptBytes,
                             "--keys-file " + inputName(o.keysFile) +
                                 " is larger than 64 MiB: split the script");
        script = file;
        // A byte-order mark that an editor put at the start says nothing.
        if (script.substr(0, 3) == "\xEF\xBB\xBF") {
            script.remove_prefix(3);
        }
    }
    std::vector<script::Step> steps;
    try {
        steps = script::parseScript(script, checkInterrupt, pumps);
    } catch (const script::ScriptError& e) {
        fail(e.what());
    }
    if (o.sweep) {
        script::appendSweep(steps);
    }
    return steps;
}

} // namespace zm::cli
