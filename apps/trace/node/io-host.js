// The asynchronous I/O host: opens, reads and writes that may wait on another
// process (a FIFO, a pipe, a terminal, a socket) are made by Node in the
// background while the program is paused; a signal ends such a wait at once
// with EINTR, as it would for the native program. Files are read and written
// straight away (by the program, through the runtime).
var zmIo = (() => {
  const fs = require("fs");
  // Runs start(done) in the background: done(result) with a number of bytes
  // or descriptor, or a negative error number. A signal ends the wait first,
  // with EINTR; what the operation does afterwards is dropped.
  const wait = start => {
    if (zmSignals.noted() !== 0) return Promise.resolve(-ERRNO_CODES.EINTR);
    return new Promise(resolve => {
      let settled = false;
      const done = result => {
        if (settled) return false;
        settled = true;
        zmSignals.whileWaiting(null);
        resolve(result);
        return true;
      };
      zmSignals.whileWaiting(() => done(-ERRNO_CODES.EINTR));
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
    // A field of the file behind the process's descriptor (see SystemNode.cpp).
    descriptorStat(fd, field) {
      const stream = FS.getStream(fd);
      if (!stream || stream.nfd === undefined) return -ERRNO_CODES.EBADF;
      try {
        const st = fs.fstatSync(stream.nfd);
        return [st.mode, st.dev, st.ino][field];
      } catch (e) {
        return errorNumber(e);
      }
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
  };
})();
