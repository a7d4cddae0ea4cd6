// The trace program compiled to WebAssembly and run by Node writes, byte for
// byte, the trace the native renderer writes: the same arithmetic to the last
// bit, in a second compiler and standard library.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

const native = process.env.ZM_NATIVE_RENDER;
const wasm = process.env.ZM_TRACE_JS;

const scripts = [
  [""],
  ["x x"],
  ["backspace x"],
  ["backspace@1.150 backspace@2.350 tab@3.500 x x"], // overlays switched mid-phase
  ["slash x x comma x"], // frames piling up
  ["x x space x"],
  ["backspace x*3 tab x*2"], // repeats
  ["enter enter tab x"], // tenths of a step
  ["x esc@2.300"], // Escape in the middle of a frame
  ["x dblclick@2.450"], // a double click in the middle of a frame
  ["#0 #65535 \u00e9 \u4e2d x"],
  ["backspace slash", "--sweep"], // the whole sweep with the overlays, piling up
];

for (const [keys, ...more] of scripts) {
  test(`the same trace for "${keys}" ${more.join(" ")}`, () => {
    const args = ["--keys", keys, ...more, "--trace", "-"];
    const want = execFileSync(native, args, { maxBuffer: 1 << 30 });
    const got = execFileSync(process.execPath, [wasm, ...args], { maxBuffer: 1 << 30 });
    assert.ok(want.length > 0);
    if (!got.equals(want)) {
      const a = got.toString().split("\n");
      const b = want.toString().split("\n");
      const i = a.findIndex((line, n) => line !== b[n]);
      assert.fail(`line ${i + 1} differs: node "${a[i]}", native "${b[i]}"`);
    }
  });
}

test("a bad script is refused by both with status 2", () => {
  for (const program of [[native], [process.execPath, wasm]]) {
    let status = 0;
    try {
      execFileSync(program[0], [...program.slice(1), "--keys", "x frob", "--trace", "-"], { stdio: "pipe" });
    } catch (e) {
      status = e.status;
      assert.match(e.stderr.toString(), /unknown step 'frob'/);
    }
    assert.equal(status, 2);
  }
});

test("a trace into a file is put in place, and nothing else is left in its folder", () => {
  const dir = mkdtempSync(join(tmpdir(), "zm-trace-"));
  try {
    const want = execFileSync(native, ["--keys", "x x", "--trace", "-"], { maxBuffer: 1 << 30 });
    execFileSync(process.execPath, [wasm, "--keys", "x x", "--trace", "out.txt"], { cwd: dir, stdio: "pipe" });
    assert.deepEqual(readdirSync(dir), ["out.txt"]);
    assert.ok(readFileSync(join(dir, "out.txt")).equals(want));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
