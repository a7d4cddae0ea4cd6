# The program itself, with no platform in it: the window's state and drawing
# operations, the profiles, the geometry, the animation and the controls. Every
# edition (the desktop, the browser, the trace program for Node) compiles this
# one list.
set(ZM_CORE_SOURCES
  src/window/Form1.cpp
  src/window/RecordingSurface.cpp
  src/window/SegmentPicture.cpp
  src/profiles/ProfileTables.cpp
  src/geometry/Linkage.cpp
  src/geometry/TravelCurve.cpp
  src/animation/Phases.cpp
  src/animation/SweepDriver.cpp
  src/controls/Controls.cpp
  src/window/PictureText.cpp
  src/math/CorrectlyRounded.cpp)

# Key scripts played in place of a user: the parser and the replay host.
set(ZM_REPLAY_SOURCES
  src/replay/KeyScript.cpp
  src/replay/ScriptHost.cpp
  src/replay/Quote.cpp)

# The outputs of the programs that play scripts: written all together or not at
# all, with the names in messages quoted.
set(ZM_OUTPUT_SOURCES
  src/replay/Outputs.cpp
  src/replay/CommandLine.cpp)
