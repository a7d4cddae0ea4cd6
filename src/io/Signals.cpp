#include "io/Signals.h"

#include "io/System.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <deque>

namespace zm::io {

namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void noteSignal(int sig) {
    const int saved = errno;
    if (caught == 0) {
        caught = sig;
    }
    sys::passToMainThread(sig);
    errno = saved;
}

struct Received {
    std::string what;
    std::uint64_t bytes = 0;
};
std::deque<Received> received;

std::string withThousands(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), ",");
    }
    return digits;
}

} // namespace

void catchInterrupts() {
    sys::noteMainThread();
    sys::installHandlers(noteSignal);
}

int pendingInterrupt() {
    return caught;
}

void noteInterrupt(int sig) {
    noteSignal(sig);
}

void checkInterrupt() {
    sys::takeHostSignal();
    checkInterruptTaken();
}

void checkInterruptTaken() {
    if (caught != 0) {
        throw Interrupted{caught};
    }
}

void dieOf(int sig) {
    sys::dieOf(sig);
}

std::uint64_t& receiving(std::string what) {
    Received& r = received.emplace_back();
    r.what = std::move(what);
    return r.bytes;
}

void forgetReceived() {
    received.clear();
}

std::string interruptedMessage(int sig) {
    std::string name = "signal " + std::to_string(sig);
    if (sig == SIGINT) {
        name = "SIGINT";
    } else if (sig == SIGTERM) {
        name = "SIGTERM";
    }
    if (sig == sys::hangupSignal) {
        name = "SIGHUP";
    }
    std::string got;
    for (const Received& r : received) {
        if (r.bytes > 0) {
            got += (got.empty() ? "" : " and ") + r.what + " got " + withThousands(r.bytes) +
                   (r.bytes == 1 ? " byte" : " bytes");
        }
    }
    return "interrupted by " + name + "; " +
           (got.empty() ? "nothing was written" : got + " before the interrupt");
}

} // namespace zm::io
