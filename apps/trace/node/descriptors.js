// The standard descriptors as the program got them. Node opens /dev/null for
// reading and writing on a standard descriptor that was closed, before any
// script runs; a shell's redirection to /dev/null opens it for one way only.
// Those Node opened were closed for the program.
var zmDescriptors = (() => {
  const fs = require("fs");
  const closed = [0, 1, 2].map(fd => {
    try {
      if (fs.readlinkSync(`/proc/self/fd/${fd}`) !== "/dev/null") return false;
      const flags = /^flags:\s*([0-7]+)/m.exec(fs.readFileSync(`/proc/self/fdinfo/${fd}`, "latin1"));
      return flags !== null && (parseInt(flags[1], 8) & 3) === 2;
    } catch (e) {
      return false;
    }
  });
  return { closedAtStart: fd => closed[fd] };
})();
