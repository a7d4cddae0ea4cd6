#pragma once

namespace zm {

// The event source the animation yields to. Handlers of the window run only
// inside these two calls.
class Host {
  public:
    virtual ~Host() = default;

    // Run every pending event and return at once.
    virtual void doEvents() = 0;
    // Block until at least one event arrives, run what has arrived, return.
    virtual void waitForEvents() = 0;
};

} // namespace zm
