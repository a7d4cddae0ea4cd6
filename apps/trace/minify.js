// Minifies scripts with terser (Debian's node-terser), for the trace program
// and for the page (apps/web/assemble.js uses this file's minify).
//
// Run by itself, it minifies the trace program's script in place: names at the
// top level too, since nothing outside the file refers to them. Node reads a
// script of half the size in half the time, which is a part of every run's
// start.
//   node minify.js FILE
"use strict";
const fs = require("fs");

// A build step's failure: its message on one line, prefixed with who failed.
const fail = (who, message) => {
  console.error(`${who}: ${message}`);
  process.exit(1);
};

// terser, loaded once; a build step that cannot load it fails, naming itself.
let terser;
const loadTerser = who => {
  if (terser === undefined) {
    try {
      terser = require("terser");
    } catch (e) {
      fail(who, `terser cannot be loaded (${e.message.split("\n")[0]}): install Debian's node-terser and set NODE_PATH=/usr/share/nodejs`);
    }
  }
  return terser;
};

// The code minified with terser's options; what names the code in the message
// of who fails when it cannot be.
const minify = async (who, what, code, options) => {
  const t = loadTerser(who);
  try {
    return (await t.minify(code, options)).code;
  } catch (e) {
    fail(who, `${what} cannot be minified: ${e.message}${e.line ? ` (line ${e.line})` : ""}`);
  }
};

module.exports = { loadTerser, minify };

if (require.main === module) {
  const file = process.argv[2];
  loadTerser("minify.js");
  minify("minify.js", file, fs.readFileSync(file, "utf8"), { toplevel: true, compress: {}, mangle: true, format: { comments: false } }).then(code =>
    fs.writeFileSync(file, code)
  );
}
