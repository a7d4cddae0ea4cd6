// The program's arguments as bytes. Node hands the program its arguments as
// text, and each byte that is not UTF-8 becomes U+FFFD: such a file name would
// name another file, and such a script another script. So the argument is
// refused, as the native program refuses a script that is not UTF-8. Its bytes
// are in /proc/self/cmdline. Where they cannot be told (no /proc, or a process
// title set with --title has written over them), an argument with U+FFFD is
// refused: it may stand for such bytes.
(() => {
  const fs = require("fs");
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
    zmEnding.fail(
      `argument ${notUtf8.at + 1} ("${notUtf8.shown}") ` +
        (notUtf8.known
          ? "is not UTF-8, and under Node it would name another file or script"
          : "holds U+FFFD, which Node puts for bytes that are not UTF-8, so under Node it may name another file or script") +
        ": rename the file, or run the native program",
      2
    );
  }
})();
