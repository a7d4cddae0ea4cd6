// zebo-morlix-trace under Node. The program runs on Node's own thread, and the
// JavaScript signal handlers run only when it lets Node have a turn; zmNode is
// what the program's WebAssembly calls for that (src/io/Outputs.cpp):
// - at its waits for a key, and while it reads and checks a long script, it
//   pauses for one turn of the event loop (at most every 10 ms), so that a
//   signal is taken within a frame;
// - opens, reads and writes that may wait on another process (a FIFO, a pipe,
//   a terminal, a socket) are made by Node in the background while the program
//   is paused; a signal ends such a wait at once with EINTR, as it would for
//   the native program. Files are read and written straight away.
// The first SIGINT, SIGTERM or SIGHUP is noted for the program, which then
// cleans up, says so and ends with 128+N; the process then ends by the same
// signal.
//
// The program's WebAssembly is the .wasm file beside this one.
var zmNode = (() => {
  const fs = require("fs");
  // Node opens /dev/null for reading and writing on a standard descriptor that
  // was closed, before any script runs; a shell's redirection to /dev/null
  // opens it for one way only. Those Node opened were closed for the program.
  const closed = [0, 1, 2].map(fd => {
    try {
      if (fs.readlinkSync(`/proc/self/fd/${fd}`) !== "/dev/null") return false;
      const flags = /^flags:\s*([0-7]+)/m.exec(fs.readFileSync(`/proc/self/fdinfo/${fd}`, "latin1"));
      return flags !== null && (parseInt(flags[1], 8) & 3) === 2;
    } catch (e) {
      return false;
    }
  });
  const say = line => {
    try {
      fs.writeSync(2, `zebo-morlix-trace: ${line}\n`);
    } catch (e) {}
  };
  // A run ends only through quit (the program's exit, with its status, after
  // main has said that the run ends) or fail (a launcher's message). Node
  // ending any other way means that the program stopped short of its end: the
  // runtime lost track of it at a pause, or it failed. That is said on one
  // line, with status 70, and never passes for a run that succeeded.
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
  // Node hands the program its arguments as text, and each byte that is not
  // UTF-8 becomes U+FFFD: such a file name would name another file, and such a
  // script another script. So the argument is refused, as the native program
  // refuses a script that is not UTF-8. Its bytes are in /proc/self/cmdline.
  // Where they cannot be told (no /proc, or a process title set with --title
  // has written over them), an argument with U+FFFD is refused: it may stand
  // for such bytes.
  const notUtf8 = (() => {
    const args = process.argv.slice(2);
    const suspect = args.findIndex(a => a.includes("\uFFFD"));
    if (suspect < 0) return null;
    // Shown on one line: \xNN for control bytes, the backslash and, when the
    // bytes are known, everything outside printable ASCII.
    const escape = c => "\\x" + c.toString(16).padStart(2, "0");
    try {
      const raw = fs.readFileSync("/proc/self/cmdline");
      const parts = [];
      for (let at = 0, i = 0; i < raw.length; ++i) {
        if (raw[i] === 0) {
          parts.push(raw.subarray(at, i));
          at = i + 1;
        }
      }
      const own = parts.slice(parts.length - args.length);
      if (own.length === args.length && own.every((b, i) => b.toString("utf8") === args[i])) {
        const strict = new TextDecoder("utf-8", { fatal: true });
        const at = own.findIndex(b => {
          try {
            strict.decode(b);
            return false;
          } catch (e) {
            return true;
          }
        });
        if (at < 0) return null;
        const byte = c => (c < 0x20 || c > 0x7e || c === 0x5c ? escape(c) : String.fromCharCode(c));
        return { at, shown: Array.from(own[at], byte).join(""), known: true };
      }
    } catch (e) {}
    const char = ch => (ch < " " || ch === "\x7f" || ch === "\\" ? escape(ch.charCodeAt(0)) : ch);
    return { at: suspect, shown: Array.from(args[suspect], char).join(""), known: false };
  })();
  if (notUtf8 !== null) {
    fail(
      `argument ${notUtf8.at + 1} ("${notUtf8.shown}") ` +
        (notUtf8.known
          ? "is not UTF-8, and under Node it would name another file or script"
          : "holds U+FFFD, which Node puts for bytes that are not UTF-8, so under Node it may name another file or script") +
        ": rename the file, or run the native program",
      2
    );
  }
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

  // Runs start(done) in the background: done(result) with a number of bytes
  // or descriptor, or a negative error number. A signal ends the wait first,
  // with EINTR; what the operation does afterwards is dropped.
  const wait = start => {
    if (signalled !== 0) return Promise.resolve(-ERRNO_CODES.EINTR);
    return new Promise(resolve => {
      let settled = false;
      const done = result => {
        if (settled) return false;
        settled = true;
        cancel = null;
        resolve(result);
        return true;
      };
      cancel = () => done(-ERRNO_CODES.EINTR);
      try {
        start(done);
      } catch (e) {
        done(errorNumber(e));
      }
    });
  };
  let spare = null; // the block of the last read, free again
  // What a stream is: whether a call on it may wait on another process (all
  // but files), and whether it is a pipe (a FIFO or a socket).
  const describe = (stream, st) => {
    stream.zmMayBlock = !st.isFile();
    stream.zmPipe = st.isFIFO() || st.isSocket();
    return stream;
  };
  const errorNumber = e => -(ERRNO_CODES[e && e.code] || ERRNO_CODES.EIO);

  return {
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
    // Whether reading or writing the descriptor may wait on another process.
    mayBlock(fd) {
      const stream = FS.getStream(fd);
      if (!stream || stream.nfd === undefined) return 0;
      if (stream.zmMayBlock === undefined) {
        try {
          describe(stream, fs.fstatSync(stream.nfd));
        } catch (e) {
          stream.zmMayBlock = false;
        }
      }
      return stream.zmMayBlock ? 1 : 0;
    },
    // Writes from the program's memory as it stands: the program leaves those
    // bytes alone until the write is done, even when a signal ended the wait
    // (then it never frees them). A read goes through a block of its own,
    // copied in once done, so that a read ended by a signal never writes where
    // the program has gone on; the block serves the next read once this one is
    // done (fresh memory costs a page fault for every page).
    // Into a pipe at most a pipe's worth goes at once, so that the count of
    // bytes written, which the message of an interrupted run gives, is exact.
    transfer(writing, fd, data, size) {
      const stream = FS.getStream(fd);
      const nfd = stream.nfd;
      return wait(done => {
        if (writing) {
          const n = stream.zmPipe ? Math.min(size, 65536) : size;
          fs.write(nfd, HEAPU8, data, n, null, (e, wrote) => done(e ? errorNumber(e) : wrote));
          return;
        }
        const bytes = spare && spare.length >= size ? spare : Buffer.allocUnsafe(size);
        spare = null;
        fs.read(nfd, bytes, 0, size, null, (e, n) => {
          if (e) {
            done(errorNumber(e));
          } else if (done(n)) {
            HEAPU8.set(bytes.subarray(0, n), data);
          }
          spare = bytes;
        });
      });
    },
    // Opens a FIFO or device. The descriptor is the runtime's own, as if it had
    // opened it itself (and it closes it), and known to be one that may wait.
    open(path, flags) {
      let nodeFlags;
      try {
        nodeFlags = NODEFS.flagsForNode(flags);
      } catch (e) {
        return Promise.resolve(-(e.errno || ERRNO_CODES.EINVAL));
      }
      return wait(done =>
        fs.open(path, nodeFlags, (e, nfd) => {
          if (e) {
            done(errorNumber(e));
            return;
          }
          let fd;
          try {
            const st = fs.fstatSync(nfd);
            // Made by the runtime's own call, as its open makes it (newer
            // runtimes count the stream's users there, and close by that count).
            fd = describe(
              FS.createStream({ nfd, path, flags, position: 0, seekable: false, node: { id: st.ino, mode: st.mode, node_ops: NODERAWFS, path } }),
              st
            ).fd;
          } catch (err) {
            fs.close(nfd, () => {});
            done(errorNumber(err));
            return;
          }
          if (!done(fd)) {
            // Too late: a signal ended the wait, and the program went on.
            FS.closeStream(fd);
            fs.close(nfd, () => {});
          }
        })
      );
    },
    fail,
    failed,
    closedAtStart: fd => closed[fd],
    // main's word that the run has come to its end; the runtime then shuts
    // down (and closes the standard streams), and quit follows.
    runEnds() {
      runEnded = true;
    },
    runHasEnded: () => runEnded,
    // The end of the run: by the signal that stopped it, or with the status.
    quit(status) {
      ended = true;
      if (signalled !== 0 && status === 128 + signalled) {
        for (const name of Object.keys(numbers)) process.removeAllListeners(name);
        process.kill(process.pid, signalName);
      }
      process.exit(status);
    },
  };
})();

var Module = {
  // The module compiled and started at once, with one clear message and status
  // 2 when the file is missing or belongs to another build.
  instantiateWasm(imports, receiveInstance) {
    const fs = require("fs");
    const path = require("path");
    const file = path.join(__dirname, path.basename(__filename, ".js") + ".wasm");
    let bytes;
    try {
      bytes = fs.readFileSync(file);
    } catch (e) {
      zmNode.fail(`cannot read the program's WebAssembly ${JSON.stringify(file)}: ${e.code || e.message}; it belongs beside ${path.basename(__filename)}`, 2);
    }
    let module;
    try {
      module = new WebAssembly.Module(bytes);
    } catch (e) {
      zmNode.fail(`cannot load the program's WebAssembly ${JSON.stringify(file)}: ${e.message}; build it again (scripts/web)`, 2);
    }
    let instance;
    try {
      instance = new WebAssembly.Instance(module, imports);
    } catch (e) {
      zmNode.fail(`cannot start the program's WebAssembly: ${e.message}; the .js and .wasm files must come from one build`, 2);
    }
    // The runtime wraps the exports so that the program can pause and resume
    // (asyncify), and those wrapped exports are the ones to call. Newer
    // runtimes take what this returns as the exports and receiveInstance
    // returns the wrapped ones; older ones wrap what this returns themselves
    // and receiveInstance returns nothing.
    return receiveInstance(instance, module) || instance.exports;
  },
  // The program sees the process's environment ($TMPDIR among it), not the
  // runtime's few made-up variables.
  //
  // The runtime's open cuts every part of a path to 255 characters, so a name
  // longer than the system allows would open another, shorter file. Such a
  // name fails as it does natively: "File name too long".
  //
  // The runtime shuts down through FS.quit, which closes the standard streams:
  // when the program has not said that its run ends, that is said first.
  preRun() {
    Object.assign(ENV, process.env);
    const quit = FS.quit;
    FS.quit = function (...rest) {
      if (!zmNode.runHasEnded()) {
        zmNode.fail("the runtime ended the program before the end of its run (it did not resume it after a pause), and its outputs are missing", zmNode.failed);
      }
      return quit.apply(this, rest);
    };
    const open = FS.open;
    FS.open = function (path, ...rest) {
      if (typeof path === "string" && path.split("/").some(part => Buffer.byteLength(part) > 255)) {
        throw new FS.ErrnoError(ERRNO_CODES.ENAMETOOLONG);
      }
      return open.call(this, path, ...rest);
    };
  },
  // The program's exit, once the runtime has flushed its streams: by the
  // signal that stopped the run, or with its status. It is not called while
  // the program is paused at a wait (main has then only returned for the
  // while).
  onExit(status) {
    zmNode.quit(status);
  },
};
// The runtime makes /dev/random and /dev/urandom at start and asks for a
// source of random bytes then; Node's Web Crypto, the one it finds first,
// takes longer to load than a short run. The program reads no random bytes, so
// this source loads Node's crypto module only if one is ever read.
var crypto = { getRandomValues: array => require("crypto").randomFillSync(array) };
