// Runs a link of the web edition (the command after this script's name) with
// Debian's Node modules on NODE_PATH, where Debian's emscripten finds its
// JavaScript parser, and passes its output through.
//
// Only the functions named in a list of pausing calls (pausing-calls.txt) are
// made able to pause. When a name there is not a function of the module
// (renamed, removed, or built into its callers), the asyncify pass only warns
// and the module is made without it: the program would then fail where it
// pauses, under Node with "unreachable", in the browser by stopping. Such a
// warning fails the link here, and what the link made is removed, so that the
// next build links again.
//   node checked-link.js COMMAND [ARGUMENT...]
"use strict";
const { spawnSync } = require("child_process");
const fs = require("fs");

const [command, ...args] = process.argv.slice(2);
const run = spawnSync(command, args, {
  stdio: ["inherit", "pipe", "pipe"],
  env: { ...process.env, NODE_PATH: "/usr/share/nodejs" },
  maxBuffer: 1 << 30,
});
if (run.error) {
  console.error(`checked-link.js: cannot run ${command}: ${run.error.message}`);
  process.exit(1);
}
process.stdout.write(run.stdout);
process.stderr.write(run.stderr);
if (run.status !== 0 || run.signal !== null) {
  process.exit(run.status || 1);
}

// The pass's words: "Asyncify onlylist contained a non-existing function name: NAME (ESCAPED)"
// for a plain name, "... a non-matching pattern: ..." for one with a wildcard.
const missing = [...run.stderr.toString().matchAll(/Asyncify \w*list contained a non-[\w -]+: (.*)/g)].map(m => m[1]);
if (missing.length > 0) {
  const out = args[args.indexOf("-o") + 1];
  if (args.includes("-o") && out !== undefined) {
    for (const file of [out, out.replace(/\.js$/, ".wasm")]) {
      fs.rmSync(file, { force: true });
    }
  }
  for (const name of missing) {
    console.error(`error: the list of pausing calls names ${name}, which is not a function of the linked program: ` +
      "correct the name in pausing-calls.txt, or remove it if nothing on the way to a pause has that name now");
  }
  process.exit(1);
}
