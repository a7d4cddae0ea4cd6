// Minifies the trace program's script in place with terser (Debian's
// node-terser): names at the top level too, since nothing outside the file
// refers to them. Node reads a script of half the size in half the time, which
// is a part of every run's start.
//   node minify.js FILE
"use strict";
const fs = require("fs");
const file = process.argv[2];
let terser;
try {
  terser = require("terser");
} catch (e) {
  console.error(`minify.js: terser cannot be loaded (${e.message.split("\n")[0]}): install Debian's node-terser and set NODE_PATH=/usr/share/nodejs`);
  process.exit(1);
}
terser
  .minify(fs.readFileSync(file, "utf8"), { toplevel: true, compress: {}, mangle: true, format: { comments: false } })
  .then(
    result => fs.writeFileSync(file, result.code),
    e => {
      console.error(`minify.js: ${file}: ${e.message}`);
      process.exit(1);
    }
  );
