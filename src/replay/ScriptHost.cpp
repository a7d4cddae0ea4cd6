#include "ScriptHost.h"

#include <algorithm>
#include <string>

namespace zm::replay {

void ScriptHost::deliver(const Step& s) {
    if (s.kind == Step::Kind::dblclick) {
        form_->Form_DblClick();
    } else {
        form_->Form_KeyPress(s.code);
    }
}

void ScriptHost::doEvents() {
    ++pumps_;
    const int f = frame();
    const int n = pumpInFrame();
    while (!steps_.empty() && steps_.front().timed && !form_->ended()) {
        const Step& s = steps_.front();
        if (s.frame == f && s.pump == n) {
            deliver(s);
            steps_.pop_front();
        } else if (s.frame < f || (s.frame == f && s.pump < n)) {
            throw ScriptError("step '" + s.text + "' comes too late: its event pump has passed (now frame " +
                              std::to_string(f) + ", pump " + std::to_string(n) + ")");
        } else {
            break;
        }
    }
    moreEvents();
}

void ScriptHost::waitForEvents() {
    ++waits_;
    if (trace_ != nullptr) {
        trace_->mark(Op::Kind::wait);
    }
    if (onWait_) {
        onWait_();
    }
    if (steps_.empty()) {
        waitWithoutSteps();
        return;
    }
    const Step s = steps_.front();
    if (s.timed) {
        throw ScriptError("step '" + s.text +
                          "' can never be reached: the program waits for a key after frame " +
                          std::to_string(frame()));
    }
    steps_.pop_front();
    deliver(s);
}

bool ScriptHost::play() {
    try {
        form_->run();
    } catch (const ReplayFinished&) {
        return false;
    }
    if (trace_ != nullptr) {
        trace_->mark(Op::Kind::end);
    }
    // Steps the user did not write (the rest of a sweep) are not missed.
    std::erase_if(steps_, [](const Step& s) { return s.optional; });
    if (!steps_.empty()) {
        std::string left;
        const std::size_t shown = std::min<std::size_t>(steps_.size(), 3);
        for (std::size_t i = 0; i < shown; ++i) {
            left += (i == 0 ? "'" : " '") + steps_[i].text + "'";
        }
        if (steps_.size() > shown) {
            left += " and " + std::to_string(steps_.size() - shown) + " more";
        }
        throw ScriptError("steps left over after the program ended: " + left);
    }
    return true;
}

} // namespace zm::replay
