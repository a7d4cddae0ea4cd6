#pragma once

#include "ScriptHost.h"
#include "window/web/CanvasSurface.h"

namespace zm {

// The browser as the program's event source. It first plays a key script (from
// the page's link), then hands over to the user: keys, double clicks and the
// page's buttons wait in the page's queue and are delivered at the program's
// next event pump, one per wait. Every input handled is written down in the
// script syntax ("KEY" at a wait, "KEY@F.N" at pump N of frame F), so the page's
// link replays exactly what was shown.
//
// While a frame is drawn the host lets the browser run at most once per display
// refresh, so the page paints and stays responsive without slowing the frame;
// while the program waits for a key it awaits the next input, with no timer.
class WebHost : public replay::ScriptHost {
  public:
    // The canvas's strokes are handed over whenever the browser gets control.
    WebHost(std::vector<replay::Step> script, CanvasSurface& canvas);

    // Tells the page how the program stands (frame, k, switches, waiting, ended).
    void publish(bool waiting);

  protected:
    void moreEvents() override;
    void waitWithoutSteps() override;

  private:
    // Delivers the page's next input, if any; false if there was none.
    bool deliverNext(bool atWait);

    CanvasSurface& canvas_;
    double lastYield_ = 0;
};

} // namespace zm
