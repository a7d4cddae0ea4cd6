// Signals. The first SIGINT, SIGTERM or SIGHUP is noted for the program, which
// then cleans up, says so and ends with 128+N; the process then ends by the
// same signal. The program takes them when it lets Node have a turn.
var zmSignals = (() => {
  // SIGHUP last: Node itself catches SIGINT and SIGTERM from its start (to end
  // at once, by the same signal), so a caught SIGHUP is what tells a watching
  // process that all three are the program's now.
  const numbers = { SIGINT: 2, SIGTERM: 15, SIGHUP: 1 };
  let signalled = 0;
  let signalName = "";
  let cancel = null; // ends the wait in progress, if any
  for (const name of Object.keys(numbers)) {
    process.on(name, () => {
      if (signalled !== 0) return;
      signalled = numbers[name];
      signalName = name;
      if (cancel) cancel();
    });
  }
  // SIGUSR1 would open Node's debugger to anyone on this machine: it ends the
  // run instead, by that signal, as it ends the native program.
  process.on("SIGUSR1", () => {
    process.removeAllListeners("SIGUSR1");
    process.kill(process.pid, "SIGUSR1");
  });
  // A turn of the event loop at most this often (milliseconds), and at the
  // first check.
  const turnEvery = 10;
  let lastTurn = -Infinity;

  return {
    // The signal noted, or 0.
    noted: () => signalled,
    // While a wait is in progress, what ends it when a signal comes (null after).
    whileWaiting(end) {
      cancel = end;
    },
    // The signal noted, 0, or -1 when the program should give Node a turn.
    poll() {
      if (signalled !== 0) return signalled;
      return Date.now() - lastTurn >= turnEvery ? -1 : 0;
    },
    turn() {
      return new Promise(resolve =>
        setImmediate(() => {
          lastTurn = Date.now();
          resolve(signalled);
        })
      );
    },
    // The end of the run: by the signal that stopped it, or with the status.
    quit(status) {
      zmEnding.ends();
      if (signalled !== 0 && status === 128 + signalled) {
        for (const name of Object.keys(numbers)) process.removeAllListeners(name);
        process.kill(process.pid, signalName);
      }
      process.exit(status);
    },
  };
})();
