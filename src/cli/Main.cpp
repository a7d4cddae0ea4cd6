#include "cli/Main.h"

#include "io/Outputs.h"
#include "script/KeyScript.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace zm::cli {

namespace {

constexpr int exitBadInput = 2;

// Help and version go to standard output; a failure to write them is reported.
int print(Program p, const std::string& text) {
    const bool ok =
        std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0;
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", programName(p),
                     io::errorText(errno));
        return exitBadInput;
    }
    return 0;
}

} // namespace

int main(Program p, int argc, char** argv, const CanvasMaker& makeCanvas) {
    // SIGINT, SIGTERM and a hang-up (the terminal closed) stop the run and clean up.
    io::catchInterrupts();
    io::guardStandardDescriptors();
    const char* name = programName(p);
    try {
        const Options o = parseArguments(p, std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
        if (o.action == Options::Action::help) {
            return print(p, helpText(p));
        }
        if (o.action == Options::Action::version) {
            return print(p, versionText(p));
        }
        return run(o, makeCanvas);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const script::ScriptError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const io::OutputError& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr,
                     "%s: not enough memory for this run: use a shorter script or a smaller picture\n", name);
    } catch (const io::Interrupted& e) {
        std::fprintf(stderr, "%s: %s\n", name, io::interruptedMessage(e.signal).c_str());
        io::dieOf(e.signal);
    }
    return exitBadInput;
}

} // namespace zm::cli
