// zebo-morlix-trace under Node. WebAssembly that runs synchronously leaves no
// turn to a JavaScript signal handler, so the program runs in a worker thread
// and this main thread keeps the signals: the first SIGINT, SIGTERM or SIGHUP
// goes into a shared flag that the program reads at its event pumps and while
// it reads its script; it then cleans up, says so and ends with 128+N, and the
// main thread ends the same way, by the same signal.
// A worker blocked in a system call (a FIFO with no writer, a stalled pipe)
// cannot read the flag: the program counts its reads in a second slot, and when
// that count stands still for a second the main thread says so and ends.
if (typeof require === "function" && require("worker_threads").isMainThread) {
  const threads = require("worker_threads");
  const fs = require("fs");
  const flag = new Int32Array(new SharedArrayBuffer(8));
  // The worker writes standard output and error itself, straight to the
  // descriptors; the main thread never touches its streams, which would make
  // a pipe non-blocking under the worker's writes.
  const worker = new threads.Worker(__filename, {
    argv: process.argv.slice(2),
    workerData: { zmSignal: flag.buffer },
    stdin: false,
    stdout: true,
    stderr: true,
  });
  const say = line => {
    try {
      fs.writeSync(2, `zebo-morlix-trace: ${line}\n`);
    } catch (e) {}
  };
  const numbers = { SIGHUP: 1, SIGINT: 2, SIGTERM: 15 };
  let signalled = "";
  const dieOf = name => {
    for (const n of Object.keys(numbers)) process.removeAllListeners(n);
    process.kill(process.pid, name);
    // A signal that does not end the process here (none should) still ends it.
    setTimeout(() => process.exit(128 + numbers[name]), 100);
  };
  for (const name of Object.keys(numbers)) {
    process.on(name, () => {
      if (signalled !== "") return;
      signalled = name;
      Atomics.store(flag, 0, numbers[name]);
      let seen = Atomics.load(flag, 1);
      let still = 0;
      setInterval(() => {
        const now = Atomics.load(flag, 1);
        still = now === seen ? still + 1 : 0;
        seen = now;
        if (still >= 4) {
          say(`interrupted by ${name} while blocked in a read or write`);
          dieOf(name);
        }
      }, 250).unref();
    });
  }
  worker.on("error", e => {
    say(e && e.message ? e.message : String(e));
    process.exit(2);
  });
  worker.on("exit", code => {
    if (signalled !== "" && code === 128 + numbers[signalled]) dieOf(signalled);
    else process.exit(code);
  });
  return;
}
