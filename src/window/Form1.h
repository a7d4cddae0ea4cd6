#pragma once

#include "window/Host.h"
#include "window/Mechanism.h"
#include "window/Surface.h"
#include "window/UserScale.h"
#include "window/ValveEvents.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace zm {

// The window's stored design.
namespace design {
inline constexpr std::string_view caption =
    "    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    USE: BackSpace for "
    "Velocity / Acceleration     DoubleClick or ESC to Quit";
inline constexpr int clientWidth = 962;  // 14430 twips at 15 twips per pixel
inline constexpr int clientHeight = 688; // 10320 twips
inline constexpr Colour backColour = colour::white;
inline constexpr Colour foreColour = colour::black;
} // namespace design

// Thrown by the event pump once a handler has ended the program, so that the
// animation is left from our own code and never from inside the platform's
// event dispatch. Caught by Form1::run.
struct ProgramEnded {};

// One column of the profiles: rows 1..rows(); row 0 is never written.
using Table = std::vector<double>;

// The one window: the source of every event, the drawing surface of every
// picture and the holder of all the program's state.
class Form1 {
  public:
    // The mechanism is fixed for the window's life; the default is the built-in
    // one. One that is not prepared is prepared here; throws
    // std::invalid_argument with its fault if it cannot be.
    Form1(Surface& surface, Host& host, const Mechanism& mechanism = Mechanism{});
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Window-level state. Every value starts at 0, which is what an unset value reads as.
    double ff = 0;  // angle shift of the latest linkage solution, degrees
    int kk = 0;     // continue flag: the end-of-frame wait lasts until it is 1
    double pi = 0;  // 4 atan(1)
    double ste = 0; // sweep step, radians
    double k = 0;   // control angle of the current frame, radians
    double k0 = 0;  // first control angle of the sweep
    int ww = 0;     // horizontal shift of the profile traces; also an angle in degrees
    int acc = 0;    // 1: velocity and acceleration overlays
    int ccllss = 0; // 0: clear between frames; 1: frames pile up

    Table ang1;
    Table lift1;
    Table ang2;
    Table lift2;

    // Runs the program: the activation handler, returning when the sweep has
    // passed its end or when a handler has ended the program.
    void run();
    bool ended() const { return ended_; }
    const Mechanism& mechanism() const { return mechanism_; }
    // The plane that shows the whole of the mechanism's traces (planeFor); the
    // design plane for the built-in mechanism. The surfaces that map the plane
    // to pixels are given it by whoever makes them.
    const UserScale& plane() const { return plane_; }
    // The profiles' rows: the phases walk the tables from row 1 while below tableEnd.
    int tableEnd() const { return tableEnd_; }

    // The valve events at the checking lift: the first profile's as drawn (x =
    // ww + angle), and the moving trace's of each frame that has reached its wait.
    double checkingLift() const { return checkingLift_; }
    const ValveEvent& firstProfileEvent() const { return firstProfileEvent_; }
    const std::vector<FrameEvents>& frameEvents() const { return frameEvents_; }
    // The moving trace's points as the phase draws them, row by row; a frame's
    // events are taken from them when it reaches its wait.
    void startMovingTrace();
    void addMovingPoint(double x, double lift);
    void recordFrameEvents();

    // Events.
    void Form_Activate();
    void Form_KeyPress(std::uint16_t keyAscii);
    void Form_DblClick();

    // Geometry.
    void solveLinkage(double theta);
    void drawTravelCurve();

    // Copies the built-in lift profiles into the four tables.
    void fillProfileTables();

    // Drawing operations on the client area. Coordinates are computed in double
    // precision by the callers and narrowed to single precision here; a segment
    // with a coordinate that is not finite after narrowing is not drawn.
    void Line(double x1, double y1, double x2, double y2, Colour c);
    void DrawWidth(int pixels) { surface_.setDrawWidth(pixels); }
    void ForeColor(Colour c) { surface_.setForeColor(c); }
    void Cls() { surface_.cls(); }

    // Runs pending events; leaves the animation if one of them ended the program.
    void DoEvents();
    // The end-of-frame wait: like repeating DoEvents until kk is 1, but blocking
    // on the event queue instead of spinning. Sets kk back to 0.
    void waitForContinue();
    // Ends the program: from a handler this only records the end, and the event
    // pump leaves the animation as soon as the handler has returned.
    void End() { ended_ = true; }

  private:
    void leaveIfEnded() const;

    // The travel curve's segments as drawTravelCurve passes them to Line, made
    // at its first call.
    struct TravelSegment {
        double x1, y1, x2, y2;
    };
    std::vector<TravelSegment> travelCurve_;
    bool travelCurveMade_ = false;

    Surface& surface_;
    Host& host_;
    const Mechanism mechanism_;
    const UserScale plane_;
    const int tableEnd_;
    bool ended_ = false;

    double checkingLift_ = 0;
    ValveEvent firstProfileEvent_{};
    std::vector<double> movingX_;
    std::vector<double> movingLift_;
    std::vector<FrameEvents> frameEvents_;
};

} // namespace zm
