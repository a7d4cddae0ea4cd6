// How a run ends under Node. A run ends only through the program's exit, with
// its status, after main has said that the run ends, or through fail (a
// launcher's message). Node ending any other way means that the program
// stopped short of its end: the runtime lost track of it at a pause, or it
// failed. That is said on one line, with status 70, and never passes for a run
// that succeeded.
var zmEnding = (() => {
  const fs = require("fs");
  const say = line => {
    try {
      fs.writeSync(2, `zebo-morlix-trace: ${line}\n`);
    } catch (e) {}
  };
  let ended = false;
  let runEnded = false;
  const fail = (line, status) => {
    ended = true;
    say(line);
    process.exit(status);
  };
  const failed = 70;
  process.on("exit", () => {
    if (ended) return;
    say("the program stopped before the end of its run, and its outputs may be missing");
    process.exitCode = failed;
  });
  // A fault of the program (such as a WebAssembly trap), or of the runtime.
  // The runtime leaves a call by throwing an ExitStatus, or "unwind", to the
  // top: that is no failure.
  process.on("uncaughtException", e => {
    if (e === "unwind" || (e !== null && typeof e === "object" && e.name === "ExitStatus")) return;
    const what = e instanceof Error ? `${e.name}: ${e.message}` : String(e);
    fail(`the program failed: ${what.split("\n")[0]}`, failed);
  });
  return {
    fail,
    failed,
    // The run is ending by the program's own exit: Node ending now is no fault.
    ends() {
      ended = true;
    },
    // main's word that the run has come to its end; the runtime then shuts
    // down (and closes the standard streams), and the program's exit follows.
    runEnds() {
      runEnded = true;
    },
    runHasEnded: () => runEnded,
  };
})();
