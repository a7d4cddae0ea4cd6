# The program itself, with no platform in it: Form1 with its phases, geometry
# and controls, the profiles and their text, the pictures and their text
# formats, the correctly rounded math, the shortest float text, and the
# quoting of names and text in messages. Every edition (the
# desktop, the browser, the trace program for Node) compiles this one list.
set(ZM_CORE_SOURCES
  src/window/Form1.cpp
  src/window/Plane.cpp
  src/window/Mechanism.cpp
  src/window/Linkage.cpp
  src/window/TravelCurve.cpp
  src/window/Phases.cpp
  src/window/SweepDriver.cpp
  src/window/Controls.cpp
  src/profiles/ProfileTables.cpp
  src/profiles/SecondProfile.cpp
  src/profiles/ProfileText.cpp
  src/window/ValveEvents.cpp
  src/picture/RecordingSurface.cpp
  src/picture/SegmentPicture.cpp
  src/picture/PictureText.cpp
  src/math/CorrectlyRounded.cpp
  src/math/CrFixed.cpp
  src/math/CrFast.cpp
  src/math/ShortestFloat.cpp
  src/math/ShortestDouble.cpp
  src/math/ReadDouble.cpp
  src/script/Quote.cpp)

# Key scripts played in place of a user: the parser and the replay host.
set(ZM_SCRIPT_SOURCES
  src/script/KeyScript.cpp
  src/script/ScriptHost.cpp)

# The programs that play scripts: their outputs, written all together or not at
# all (io), and their command line (cli): the table of options with the help
# made from it, its parser, the script file, the mechanism's options, the run,
# and the program. The
# system calls under the outputs are each platform's own (io/System.h):
# Windows; the runtime under Node, with the native programs' words for system
# errors; a native POSIX system.
set(ZM_OUTPUT_SOURCES
  src/io/Signals.cpp
  src/io/Streams.cpp
  src/io/Paths.cpp
  src/io/Temporaries.cpp
  src/io/FrameNames.cpp
  src/io/Output.cpp
  src/io/OutputSet.cpp
  src/cli/Options.cpp
  src/cli/Parse.cpp
  src/cli/ScriptFile.cpp
  src/cli/MechanismOptions.cpp
  src/cli/Run.cpp
  src/cli/Main.cpp)
if(WIN32)
  list(APPEND ZM_OUTPUT_SOURCES src/io/SystemWindows.cpp src/io/UnnamedNone.cpp src/io/ErrorText.cpp)
elseif(EMSCRIPTEN)
  list(APPEND ZM_OUTPUT_SOURCES src/io/SystemPosix.cpp src/io/SystemNode.cpp src/io/UnnamedNone.cpp src/io/ErrorTextNode.cpp)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  list(APPEND ZM_OUTPUT_SOURCES src/io/SystemPosix.cpp src/io/SystemPosixNative.cpp src/io/UnnamedLinux.cpp src/io/ErrorText.cpp)
else()
  list(APPEND ZM_OUTPUT_SOURCES src/io/SystemPosix.cpp src/io/SystemPosixNative.cpp src/io/UnnamedNone.cpp src/io/ErrorText.cpp)
endif()
