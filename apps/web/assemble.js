// Puts the page together: the page's HTML with, in place of {{{ SCRIPT }}}, the
// program's WebAssembly compressed with gzip and written in base64, and the
// JavaScript that loads it. The result is one file that works from disk.
// The page's own scripts are minified with emscripten's JavaScript optimizer
// when its path is given.
//   node assemble.js SHELL.html PROGRAM.js PROGRAM.wasm OUT.html [acorn-optimizer.js]
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const zlib = require("zlib");
const { execFileSync } = require("child_process");

const [shellPath, jsPath, wasmPath, outPath, optimizer] = process.argv.slice(2);
let shell = fs.readFileSync(shellPath, "utf8");
if (optimizer) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), "zm-assemble-"));
  try {
    shell = shell.replace(/<script>\n([\s\S]*?)<\/script>/g, (whole, code) => {
      const file = path.join(scratch, "page.js");
      fs.writeFileSync(file, code);
      const small = execFileSync(process.execPath, [optimizer, file, "minifyWhitespace"], { encoding: "utf8" });
      return "<script>\n" + small.trim() + "\n</script>";
    });
  } finally {
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}
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
// The page's own markup, style and script lose their comments and indentation
// (in scripts whole-line comments only, so no string or expression is touched).
const lean = text =>
  text
    .replace(/<!--[\s\S]*?-->\n?/g, "")
    .replace(/<style>[\s\S]*?<\/style>/g, style => style.replace(/\/\*[\s\S]*?\*\//g, ""))
    .split("\n")
    .map(line => line.trim())
    .filter(line => line !== "" && !line.startsWith("//"))
    .join("\n");
const page = lean(shell).split("{{{ SCRIPT }}}").join(loader);
fs.writeFileSync(outPath + ".partial", page);
fs.renameSync(outPath + ".partial", outPath);
