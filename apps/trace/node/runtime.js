// Patches to the runtime, and the hooks it calls.
Object.assign(Module, {
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
      if (!zmEnding.runHasEnded()) {
        zmEnding.fail("the runtime ended the program before the end of its run (it did not resume it after a pause), and its outputs are missing", zmEnding.failed);
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
    zmSignals.quit(status);
  },
});
// The runtime makes /dev/random and /dev/urandom at start and asks for a
// source of random bytes then; Node's Web Crypto, the one it finds first,
// takes longer to load than a short run. The program reads no random bytes, so
// this source loads Node's crypto module only if one is ever read.
var crypto = { getRandomValues: array => require("crypto").randomFillSync(array) };
