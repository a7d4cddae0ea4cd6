#include "script/ScriptHost.h"

#include "script/Quote.h"

#include <algorithm>
#include <string>

namespace zm::script {

void ScriptHost::deliver(const Step& s) {
    if (s.kind == Step::Kind::dblclick) {
        form_->Form_DblClick();
    } else {
        form_->Form_KeyPress(s.code);
    }
}

void ScriptHost::take() {
    if (++used_ >= steps_[next_].count) {
        used_ = 0;
        ++next_;
    }
}

void ScriptHost::dropSteps(std::size_t from) {
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(std::min(next_ + from, steps_.size())),
                 steps_.end());
    if (from == 0) {
        used_ = 0;
    }
}

void ScriptHost::playNext() {
    const Step s = steps_[next_];
    take();
    deliver(s);
}

void ScriptHost::doEvents() {
    ++pumps_;
    const int f = frame();
    const int n = pumpInFrame();
    while (!scriptDone() && steps_[next_].timed && !form_->ended()) {
        const Step& s = steps_[next_];
        if (s.frame == f && s.pump == n) {
            deliver(s);
            take();
        } else if (const std::string why = tooLate(s, f, n); !why.empty()) {
            throw ScriptError(why);
        } else {
            break;
        }
    }
    moreEvents();
}

void ScriptHost::waitForEvents() {
    ++waits_;
    if (trace_ != nullptr) {
        trace_->mark(picture::Op::Kind::wait);
    }
    if (onWait_) {
        onWait_();
    }
    if (scriptDone()) {
        waitWithoutSteps();
        return;
    }
    const Step s = steps_[next_];
    if (const std::string why = unreachable(s); !why.empty()) {
        throw ScriptError(why);
    }
    take();
    deliver(s);
}

std::string ScriptHost::tooLate(const Step& s, int f, int n) {
    if (s.frame < f || (s.frame == f && s.pump < n)) {
        return "step " + quoted(stepText(s)) + " comes too late: its event pump has passed (now frame " +
               std::to_string(f) + ", pump " + std::to_string(n) + ")";
    }
    return {};
}

std::string ScriptHost::unreachable(const Step& s) const {
    if (s.timed) {
        return "step " + quoted(stepText(s)) +
               " can never be reached: the program waits for a key after frame " + std::to_string(frame());
    }
    return {};
}

bool ScriptHost::play() {
    try {
        form_->run();
    } catch (const ReplayFinished&) {
        return false;
    }
    if (trace_ != nullptr) {
        trace_->mark(picture::Op::Kind::end);
    }
    if (std::string left = leftOver(); !left.empty()) {
        throw ScriptError(left);
    }
    return true;
}

std::string ScriptHost::leftOver() const {
    // Steps the user did not write (the rest of a sweep) are not missed; the
    // others are named, the first few of them.
    std::string left;
    std::size_t shown = 0;
    std::uint64_t more = 0;
    for (std::size_t i = next_; i < steps_.size(); ++i) {
        Step s = steps_[i];
        if (s.optional) {
            continue;
        }
        if (i == next_) {
            s.count -= used_;
        }
        if (shown < 3) {
            left += (shown == 0 ? "" : " ") + quoted(stepText(s));
            ++shown;
        } else {
            more += s.count;
        }
    }
    if (shown == 0) {
        return {};
    }
    if (more > 0) {
        left += " and " + std::to_string(more) + " more";
    }
    return "steps left over after the program ended: " + left;
}

} // namespace zm::script
