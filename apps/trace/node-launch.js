// zebo-morlix-trace under Node. WebAssembly that runs synchronously leaves no
// turn to a JavaScript signal handler, so the program runs in a worker thread
// and this main thread keeps the signals: the first SIGINT, SIGTERM or SIGHUP
// goes into a shared flag that the program reads at its event pumps and while
// it reads its script; it then cleans up, says so and ends with 128+N, and the
// main thread ends the same way, by the same signal.
// A worker blocked in a system call (a FIFO with no writer, a stalled pipe)
// cannot read the flag: the program counts its reads in a second slot, and when
// that count stands still for a second the main thread says so and ends.
//
// Start-up is most of a short run's time, so nothing waits that need not: the
// worker is started first, and while Node starts it, this thread reads and
// compiles the program's WebAssembly (the .wasm file beside this one) and hands
// the compiled module over; the worker only instantiates it.
if (typeof require === "function" && require("worker_threads").isMainThread) {
  const threads = require("worker_threads");
  const fs = require("fs");
  const path = require("path");
  const flag = new Int32Array(new SharedArrayBuffer(8));
  const program = new threads.MessageChannel();
  // The worker writes standard output and error itself, straight to the
  // descriptors; the main thread never touches its streams, which would make
  // a pipe non-blocking under the worker's writes.
  const worker = new threads.Worker(__filename, {
    argv: process.argv.slice(2),
    workerData: { zmSignal: flag.buffer, zmProgram: program.port2 },
    transferList: [program.port2],
    stdin: false,
    stdout: true,
    stderr: true,
  });
  const say = line => {
    try {
      fs.writeSync(2, `zebo-morlix-trace: ${line}\n`);
    } catch (e) {}
  };
  // SIGHUP last: Node itself catches SIGINT and SIGTERM from its start (to end
  // at once, by the same signal), so a caught SIGHUP is what tells a watching
  // process that all three are the program's now.
  const numbers = { SIGINT: 2, SIGTERM: 15, SIGHUP: 1 };
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

  const wasm = path.join(__dirname, path.basename(__filename, ".js") + ".wasm");
  let bytes;
  try {
    bytes = fs.readFileSync(wasm);
  } catch (e) {
    say(`cannot read the program's WebAssembly ${JSON.stringify(wasm)}: ${e.code || e.message}; it belongs beside ${path.basename(__filename)}`);
    process.exit(2);
  }
  WebAssembly.compile(bytes).then(
    module => {
      program.port1.postMessage(module);
      program.port1.close();
    },
    e => {
      say(`cannot load the program's WebAssembly ${JSON.stringify(wasm)}: ${e.message}; build it again (scripts/web)`);
      process.exit(2);
    }
  );
  return;
}

// In the worker: the module the main thread compiled, instantiated when the
// runtime asks for it; at once when it has come already, as it usually has.
var Module = {
  instantiateWasm(imports, receiveInstance) {
    const threads = require("worker_threads");
    const port = threads.workerData.zmProgram;
    const start = module => {
      port.close();
      let instance;
      try {
        instance = new WebAssembly.Instance(module, imports);
      } catch (e) {
        // The runtime would only note this where no one reads it and then
        // wait for nothing, ending with status 0.
        require("fs").writeSync(
          2,
          `zebo-morlix-trace: cannot start the program's WebAssembly: ${e.message}; the .js and .wasm files must come from one build\n`
        );
        process.exit(2);
      }
      receiveInstance(instance, module);
      return instance.exports;
    };
    const ready = threads.receiveMessageOnPort(port);
    if (ready) return start(ready.message);
    port.once("message", start);
    return {};
  },
};
// The runtime makes /dev/random and /dev/urandom at start and asks for a
// source of random bytes then; Node's Web Crypto, the one it finds first,
// takes longer to load than a short run. The program reads no random bytes, so
// this source loads Node's crypto module only if one is ever read.
var crypto = { getRandomValues: array => require("crypto").randomFillSync(array) };
