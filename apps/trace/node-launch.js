// zebo-morlix-trace under Node. The program runs on Node's own thread, and the
// JavaScript signal handlers run only when it lets Node have a turn; zmNode is
// what the program's WebAssembly calls for that (src/io/SystemNode.cpp):
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
//
// The launcher is made of the parts in node/, one for each concern, joined
// into one script at build time (CMakeLists.txt), in this order:
// descriptors.js, ending.js, arguments.js, signals.js, io-host.js, this file,
// loading.js, runtime.js.
var zmNode = {
  poll: zmSignals.poll,
  turn: zmSignals.turn,
  mayBlock: zmIo.mayBlock,
  transfer: zmIo.transfer,
  open: zmIo.open,
  descriptorStat: zmIo.descriptorStat,
  closedAtStart: zmDescriptors.closedAtStart,
  runEnds: zmEnding.runEnds,
};
