#pragma once

#include "picture/RecordingSurface.h"
#include "script/KeyScript.h"
#include "window/Form1.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zm::script {

// Thrown when the program blocks waiting for a key and the script has no step
// left: the replay is over, with the program still running.
struct ReplayFinished {};

// Plays a key script into a Form1 in place of a user: timed steps at their
// event pump, plain steps at the blocking waits. Counts pumps: every frame makes
// three per profile row and one that starts the end-of-frame wait.
class ScriptHost : public Host {
  public:
    using WaitHook = std::function<void()>;

    explicit ScriptHost(std::vector<Step> steps, picture::RecordingSurface* trace = nullptr,
                        WaitHook onWait = {})
        : steps_(std::move(steps)), trace_(trace), onWait_(std::move(onWait)) {}

    void attach(Form1& form) {
        form_ = &form;
        pumpsPerFrame_ = pumpsPerFrame(form.tableEnd() - 1);
    }

    void doEvents() override;
    void waitForEvents() override;

    // Runs the program to its end or to a wait with no step left. Throws
    // ScriptError for a step that cannot be played. True if the program ended.
    bool play();

    int frame() const { return pumps_ == 0 ? 0 : (pumps_ - 1) / pumpsPerFrame_ + 1; }
    int pumpInFrame() const { return pumps_ == 0 ? 0 : (pumps_ - 1) % pumpsPerFrame_ + 1; }
    int pumpsInAFrame() const { return pumpsPerFrame_; }
    int waits() const { return waits_; }

  protected:
    // At every pump, after the script's steps due there: a host that hands over
    // to a user delivers the user's input here.
    virtual void moreEvents() {}
    // At a wait when the script has no step left: by default the replay is over.
    virtual void waitWithoutSteps() { throw ReplayFinished{}; }
    // Hands one step to the program; a host that keeps a history of what was
    // played writes the step down here.
    virtual void deliver(const Step& s);
    Form1& form() { return *form_; }
    bool scriptDone() const { return next_ == steps_.size(); }
    // For a host that cuts a replay short or adds to it: the i-th step not yet
    // played (null past the last), dropping the steps from the i-th on, adding
    // steps at the end, and playing the next one (a plain one) at a wait.
    const Step* pendingStep(std::size_t i) const {
        return next_ + i < steps_.size() ? &steps_[next_ + i] : nullptr;
    }
    void dropSteps(std::size_t from);
    void addSteps(const std::vector<Step>& more) { steps_.insert(steps_.end(), more.begin(), more.end()); }
    void playNext();
    // Why the timed step s cannot be played at pump n of frame f: its pump has
    // passed. Empty when its pump is this one or still to come. The replay stops
    // there: here with a ScriptError, in a host that goes on without the rest
    // of the script, by dropping the steps from s on.
    static std::string tooLate(const Step& s, int f, int n);
    // Why the step s cannot be played at the wait the program has reached: it
    // is timed, and the program waits for a key before its pump. Empty for a
    // plain step.
    std::string unreachable(const Step& s) const;
    // The steps not played, as the message that names them (the first few, and
    // how many more); empty when none is left but the optional ones.
    std::string leftOver() const;

  private:
    // The steps are played in place: next_ is the step due, of which the first
    // used_ of its run have been delivered.
    void take();

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    std::uint32_t used_ = 0;
    picture::RecordingSurface* trace_;
    WaitHook onWait_;
    Form1* form_ = nullptr;
    int pumps_ = 0;
    int waits_ = 0;
    int pumpsPerFrame_ = builtInPumpsPerFrame;
};

} // namespace zm::script
