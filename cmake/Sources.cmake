# The program itself, with no platform in it: Form1 with its phases, geometry
# and controls, the profiles, the pictures and their text formats, and the
# correctly rounded math. Every edition (the desktop, the browser, the trace
# program for Node) compiles this one list.
set(ZM_CORE_SOURCES
  src/window/Form1.cpp
  src/window/Linkage.cpp
  src/window/TravelCurve.cpp
  src/window/Phases.cpp
  src/window/SweepDriver.cpp
  src/window/Controls.cpp
  src/profiles/ProfileTables.cpp
  src/picture/RecordingSurface.cpp
  src/picture/SegmentPicture.cpp
  src/picture/PictureText.cpp
  src/math/CorrectlyRounded.cpp)

# Key scripts played in place of a user: the parser, the replay host, and the
# quoting of names and steps in messages.
set(ZM_SCRIPT_SOURCES
  src/script/KeyScript.cpp
  src/script/ScriptHost.cpp
  src/script/Quote.cpp)

# The programs that play scripts: their outputs, written all together or not at
# all (io), and their command line (cli): the table of options with the help
# made from it, its parser, the script file, the run, and the program.
set(ZM_OUTPUT_SOURCES
  src/io/Outputs.cpp
  src/cli/Options.cpp
  src/cli/Parse.cpp
  src/cli/ScriptFile.cpp
  src/cli/Run.cpp
  src/cli/Main.cpp)
