// Puts the page together: the page's HTML (shell.html, with each line
// {{{ PART NAME }}} replaced by the file NAME beside it: its style and the parts
// of its script) with, in place of {{{ MODULE }}}, the
// program's WebAssembly compressed with gzip (by zopfli, which packs it a
// twentieth smaller than zlib's best) and written as text (see moduleText), and in place of
// {{{ SCRIPT }}} the JavaScript that runs it. The result is one file that works
// from disk. Every script on the page is minified with terser (Debian's node-terser): whitespace, local
// names and dead branches; names at the top level, which the scripts share, stay
// but in the program's script, which shares only three. The numbers of the
// sweep come from the core's src/window/Sweep.h: {{{ Sweep::NAME }}} is the
// number as JavaScript writes it, {{{ Sweep::NAME D }}} with D decimals.
//   node assemble.js SHELL.html SWEEP.h PROGRAM.js PROGRAM.wasm OUT.html ZOPFLI
"use strict";
const fs = require("fs");
const path = require("path");
const { execFileSync } = require("child_process");

const [shellPath, sweepPath, jsPath, wasmPath, outPath, zopfli] = process.argv.slice(2);
const fail = message => {
  console.error("assemble.js: " + message);
  process.exit(1);
};
if (!zopfli) fail("usage: node assemble.js SHELL.html SWEEP.h PROGRAM.js PROGRAM.wasm OUT.html ZOPFLI");

// The page's source, its parts put in their places.
const withParts = text =>
  text.replace(/^\{\{\{ PART ([\w.-]+) \}\}\}$/gm, (mark, name) => {
    const part = path.join(path.dirname(shellPath), name);
    if (!fs.existsSync(part)) fail(shellPath + " names " + part + ", which is missing");
    return fs.readFileSync(part, "utf8").replace(/\n$/, "");
  });

// The sweep's constants, each a plain number literal in the header.
const sweep = new Map();
for (const m of fs.readFileSync(sweepPath, "utf8").matchAll(/static constexpr (?:double|int) (\w+) = ([^;]*);/g)) {
  if (!/^-?[0-9]+(\.[0-9]+)?$/.test(m[2])) fail(sweepPath + ": " + m[1] + " is not a plain number");
  sweep.set(m[1], Number(m[2]));
}
const withSweep = text =>
  text.replace(/\{\{\{ Sweep::(\w+)(?: ([0-9]))? \}\}\}/g, (mark, name, decimals) => {
    if (!sweep.has(name)) fail(sweepPath + " has no " + name + " for " + mark);
    const value = sweep.get(name);
    return decimals === undefined ? String(value) : value.toFixed(Number(decimals));
  });
// terser, shared with the trace program's minify (apps/trace/minify.js).
const terser = require("../trace/minify.js");
terser.loadTerser("assemble.js");

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

// The packed module as the text of a JavaScript string in the page: each 13
// bits (from the lowest of each byte up) as two characters of 91, the printable
// ASCII characters but '"', '<' and '\\' (nothing to escape, and never a
// closing tag): 16 characters for 13 bytes, where base64 takes 17.3. The page
// decodes it with the byte count before it.
const moduleText = bytes => {
  const digit = v => String.fromCharCode(v + 33 + (v >= 1) + (v >= 26) + (v >= 57));
  let out = "", acc = 0, bits = 0;
  for (let i = 0; i < bytes.length || bits > 0;) {
    while (bits < 13 && i < bytes.length) { acc |= bytes[i++] << bits; bits += 8; }
    const v = acc & 8191;
    acc >>>= 13;
    bits = Math.max(0, bits - 13);
    out += digit(v % 91) + digit(Math.floor(v / 91));
  }
  return bytes.length + ":" + out;
};

const minify = (code, what, options = { compress: {}, mangle: true }) => terser.minify("assemble.js", what, code, options);

const main = async () => {
  const shell = lean(withSweep(withParts(fs.readFileSync(shellPath, "utf8"))));
  for (const mark of ["{{{ MODULE }}}", "{{{ SCRIPT }}}"]) if (!shell.includes(mark)) fail(shellPath + " has no " + mark);
  const scripts = [];
  for (const m of shell.matchAll(/<script>\n([\s\S]*?)<\/script>/g)) scripts.push(await minify(m[1], shellPath));
  let n = 0;
  const page = shell.replace(/<script>\n([\s\S]*?)<\/script>/g, () => "<script>\n" + scripts[n++] + "\n</script>");

  let packed;
  try {
    packed = execFileSync(zopfli, ["--gzip", "-c", wasmPath], { maxBuffer: 64 << 20 });
  } catch (e) {
    fail(zopfli + " cannot compress " + wasmPath + ": " + e.message.split("\n")[0]);
  }
  // The program's script stands alone but for the names the page's own script
  // uses (Module, UTF8ToString, _free), so its top-level names are minified too
  // and what it never uses goes.
  const program = await minify(fs.readFileSync(jsPath, "utf8"), jsPath, {
    toplevel: true,
    compress: { passes: 2 },
    mangle: { reserved: ["Module", "UTF8ToString", "_free"] },
  });
  const out = page
    .replace("{{{ MODULE }}}", () => moduleText(packed))
    .replace("{{{ SCRIPT }}}", () => "<script>\n" + program + "\n</script>");
  fs.writeFileSync(outPath + ".partial", out);
  fs.renameSync(outPath + ".partial", outPath);
};
main();
