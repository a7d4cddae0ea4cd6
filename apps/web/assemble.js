// Puts the page together: the page's HTML with, in place of {{{ SCRIPT }}}, the
// program's WebAssembly compressed with gzip and written in base64, and the
// JavaScript that loads it. The result is one file that works from disk.
//   node assemble.js SHELL.html PROGRAM.js PROGRAM.wasm OUT.html
"use strict";
const fs = require("fs");
const zlib = require("zlib");

const [shellPath, jsPath, wasmPath, outPath] = process.argv.slice(2);
const shell = fs.readFileSync(shellPath, "utf8");
const js = fs.readFileSync(jsPath, "utf8");
const wasm = zlib.gzipSync(fs.readFileSync(wasmPath), { level: 9 }).toString("base64");
if (!shell.includes("{{{ SCRIPT }}}")) {
  console.error("assemble.js: " + shellPath + " has no {{{ SCRIPT }}}");
  process.exit(1);
}
// The browser unpacks the program itself (DecompressionStream) before it starts.
const loader = `<script>
Module.instantiateWasm = (imports, receive) => {
  const text = atob("${wasm}");
  const packed = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) packed[i] = text.charCodeAt(i);
  new Response(new Blob([packed]).stream().pipeThrough(new DecompressionStream("gzip"))).arrayBuffer()
    .then(bytes => WebAssembly.instantiate(bytes, imports))
    .then(result => receive(result.instance), error => zm.failed(error));
  return {};
};
</script>
<script>
${js}
</script>`;
const page = shell.split("{{{ SCRIPT }}}").join(loader);
fs.writeFileSync(outPath + ".partial", page);
fs.renameSync(outPath + ".partial", outPath);
