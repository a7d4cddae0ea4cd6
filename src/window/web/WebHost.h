#pragma once

#include "script/ScriptHost.h"
#include "window/web/CanvasSurface.h"

#include <string>

namespace zm {

// The browser as the program's event source. It first plays a key script (from
// the page's link, or the page's jump to a frame), then hands over to the user:
// keys, double clicks and the page's buttons wait in the page's queue and are
// delivered at the program's next event pump, one per wait. Any input from the
// user during a replay cuts the replay's remaining steps and then acts. Every
// step handed to the program is written down in the script syntax ("KEY" at a
// wait, "KEY@F.N" at pump N of frame F) as it is played, so the page's link
// replays exactly what was shown.
//
// A step of the link that cannot be played (its pump has passed, or the program
// waits for a key before it) stops the replay there; the page says why and the
// program goes on from that point.
//
// While a frame is drawn the host lets the browser run at least once per display
// refresh, so the page paints and stays responsive however long the replay;
// while the program waits for a key it awaits the next input, with no timer.
class WebHost : public script::ScriptHost {
  public:
    // The canvas's strokes are handed over whenever the browser gets control.
    WebHost(std::vector<script::Step> script, CanvasSurface& canvas);

    void doEvents() override;
    void waitForEvents() override;

    // A run after the first (a new mechanism) also lets the browser in during
    // its first frame: the page is on the screen already, and the frame comes
    // after the replay's others.
    void yieldInFirstFrame() { firstFrameYields_ = true; }
    // Tells the page how the program stands (frame, k, switches, waiting, ended).
    void publish(bool waiting);
    // Once the program has ended: the last strokes drawn, the replay's steps left
    // over named, and the page told. The page's program is built without
    // exceptions, so a key or double click that ends the program does not return
    // into the animation: the host finishes there and the program's stack is
    // left for good (the picture and the canvas, which outlive it, stay usable).
    void finish();

  protected:
    void moreEvents() override;
    void waitWithoutSteps() override;
    void deliver(const script::Step& s) override;

  private:
    // After the program has ended: says so if the replay had steps left.
    void reportLeftOver();
    // Delivers the page's next input, if any; false if there was none.
    bool deliverNext(bool atWait);
    // Drops the replay's steps from `from` on and tells the page why.
    void cut(std::size_t from, const std::string& why);
    // Input from the user cancels the rest of a replay.
    void cancelReplayOnInput();

    CanvasSurface& canvas_;
    double lastYield_ = 0;
    bool atWait_ = false;
    bool firstFrameYields_ = false;
};

} // namespace zm
