#include "ScriptHost.h"

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
        throw ReplayFinished{};
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
    if (!steps_.empty()) {
        std::string left;
        for (const Step& s : steps_) {
            left += (left.empty() ? "'" : " '") + s.text + "'";
        }
        throw ScriptError("steps left over after the program ended: " + left);
    }
    return true;
}

} // namespace zm::replay
