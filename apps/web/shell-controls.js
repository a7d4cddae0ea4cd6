// The page's script, last part (see shell-canvas.js): the keyboard, the pointer
// and touch, the buttons and the jump slider, the saves and Open keys, and what
// the page gives the program and the world.
  // The keyboard. The canvas takes the program's keys once it has them: from the
  // page at load (not in a frame), from a click, or from a program key typed on
  // it. Tabbed to, it lets Tab and Shift+Tab move on until then, so the page (and
  // a course page around a frame) can be tabbed through without touching the
  // program. While it has them Tab is the program's key and Shift+Tab leaves;
  // after the program has ended every key moves on. #keys-hint says so while the
  // canvas has the focus.
  const keysHint = $("keys-hint");
  let engaged = false, focusByPage = false;
  const hint = () => keysHint.classList.toggle("shown", document.activeElement === element);
  element.addEventListener("focus", () => { engaged = focusByPage; focusByPage = false; hint(); });
  element.addEventListener("blur", () => { engaged = false; hint(); });
  element.addEventListener("pointerdown", () => {
    if (document.activeElement !== element) focusByPage = true;
    engaged = true;
    hint();
  });
  // Keys: the character a key types, and the control keys by their codes.
  const named = { Backspace: 8, Tab: 9, Enter: 13, Escape: 27 };
  element.addEventListener("keydown", e => {
    if (e.altKey || e.metaKey || ended) return;
    if (e.key === "Tab" && !e.ctrlKey && (e.shiftKey || !engaged)) {
      engaged = false; // the browser moves the focus on
      return;
    }
    let code = named[e.key];
    if (e.ctrlKey) code = { h: 8, H: 8, i: 9, I: 9, m: 13, M: 13 }[e.key];
    else if (code === undefined && [...e.key].length === 1) {
      const c = e.key.codePointAt(0);
      code = c > 0xffff ? 0xfffd : c;
    }
    if (code === undefined) return;
    e.preventDefault();
    if (!engaged) { engaged = true; hint(); }
    input.push(code);
  });
  element.addEventListener("dblclick", e => { e.preventDefault(); input.push(-1); });

  // The plane point under the pointer, by the window's own mapping (the
  // program's zmPlaneX and zmPlaneY); on touch, after a press held still.
  const showPoint = e => {
    if (!ready) return;
    const r = element.getBoundingClientRect();
    const x = Module._zmPlaneX((e.clientX - r.left) / r.width);
    const y = Module._zmPlaneY((e.clientY - r.top) / r.height);
    pointer.textContent = "angle " + x.toFixed(1) + "\u00b0, lift " + y.toFixed(2);
  };
  // A touch held still for half a second shows the point under the finger and
  // then keeps the gesture: the page does not scroll under it, so the browser does
  // not cancel the pointer, and the readout follows the finger until it lifts.
  // A lifted or cancelled pointer clears the readout.
  let hold = null, lastTap = null;
  element.addEventListener("pointermove", e => {
    if (e.pointerType !== "touch") showPoint(e);
    else if (hold && hold.shown) showPoint(e);
  });
  element.addEventListener("pointerleave", e => { if (e.pointerType !== "touch") pointer.textContent = ""; });
  element.addEventListener("pointerdown", e => {
    if (e.pointerType !== "touch") return;
    const h = { shown: false, timer: 0 };
    h.timer = setTimeout(() => { h.shown = true; showPoint(e); }, 500);
    hold = h;
  });
  element.addEventListener("touchmove", e => { if (hold && hold.shown) e.preventDefault(); }, { passive: false });
  element.addEventListener("contextmenu", e => { if (hold) e.preventDefault(); });
  const release = () => {
    if (hold) { clearTimeout(hold.timer); hold = null; }
    pointer.textContent = "";
  };
  element.addEventListener("pointercancel", e => { if (e.pointerType === "touch") release(); });
  // A double tap: two short taps close together in time and place.
  element.addEventListener("pointerup", e => {
    if (e.pointerType !== "touch") return;
    const now = performance.now();
    const short = !hold || !hold.shown;
    release();
    if (!short) { lastTap = null; return; }
    if (lastTap && now - lastTap.t < 350 && Math.hypot(e.clientX - lastTap.x, e.clientY - lastTap.y) < 30) {
      lastTap = null;
      input.push(-1);
    } else {
      lastTap = { t: now, x: e.clientX, y: e.clientY };
    }
  });

  for (const b of document.querySelectorAll("#buttons button[data-code]")) {
    b.addEventListener("click", () => input.push(Number(b.dataset.code)));
  }
  // The slider shows tenths (after Tab or Enter) but jumps to whole frames: a
  // drag to the nearest, the arrow keys to the next whole frame either way.
  const jumpAt = $("jump-at");
  const jumpLabel = n => { jumpAt.textContent = String(n); };
  const jumpTo = n => {
    n = Math.min(Math.max(n, 0), lastFrame);
    jump.value = String(n);
    jump.setAttribute("aria-valuetext", frameText(n));
    jumpLabel(n);
    input.jump(n);
  };
  jump.addEventListener("input", () => {
    const n = Math.round(Number(jump.value));
    jump.setAttribute("aria-valuetext", frameText(n));
    jumpLabel(n);
  });
  jump.addEventListener("change", () => jumpTo(Math.round(Number(jump.value))));
  jump.addEventListener("keydown", e => {
    const v = Number(jump.value);
    const to = { ArrowRight: Math.floor(v) + 1, ArrowUp: Math.floor(v) + 1, ArrowLeft: Math.ceil(v) - 1,
                 ArrowDown: Math.ceil(v) - 1, PageUp: Math.floor(v) + 10, PageDown: Math.ceil(v) - 10,
                 Home: 0, End: lastFrame }[e.key];
    if (to === undefined || e.altKey || e.ctrlKey || e.metaKey) return;
    e.preventDefault();
    jumpTo(to);
  });

  // Taking the picture, its numbers and the keys away.
  // Downloads a blob, or a data address as it is.
  const download = (blob, name) => {
    const a = document.createElement("a");
    a.href = typeof blob === "string" ? blob : URL.createObjectURL(blob);
    a.download = name;
    a.click();
    if (typeof blob !== "string") setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  };
  const fromProgram = exported => {
    if (!ready) return "";
    const p = exported();
    if (!p) return "";
    const text = UTF8ToString(p);
    _free(p);
    return text;
  };
  // The picture's SVG or CSV as bytes; null while a pile is kept as pixels
  // (the page then says whose job they are).
  const text = async csv => {
    if (!ready) return new Uint8Array(0);
    if (kept) return null;
    return pictureText(csv);
  };
  const asString = async csv => { const b = await text(csv); return b && new TextDecoder().decode(b); };
  const svg = () => asString(0);
  const csv = () => asString(1);
  const saveText = (csv, type, what) => {
    const file = name(what);
    text(csv).then(bytes => {
      if (bytes) download(new Blob([bytes], { type }), file);
      else say("Not saved: " + pileWords + ".", true);
    });
  };
  const name = what => "zebo-morlix-frame-" + sweepFrame(state.k) + "." + what;
  // A save holds a whole frame: while one is being drawn it waits for its end
  // (the program's next wait, or its end).
  const whole = save => {
    if (state.waiting || ended) save();
    else waitingSaves.push(save);
  };
  // The picture at the plane's size (962 x 688 for the built-in mechanism)
  // whatever the window and the screen (the renderer's --png), drawn again from
  // its segments on a canvas of its own; or the canvas's own pixels at the
  // screen's resolution.
  // The design-size picture is drawn (in one part for a frame or a few, the
  // click's own task) and encoded at once (a few milliseconds), so that its
  // download still comes from the click where browsers ask for one (phones); the
  // larger screen picture is encoded off the page's thread, once the page's
  // drawing is done.
  $("save").addEventListener("click", () => whole(() => {
    if (!ready) return;
    const file = name("png");
    designCopy().then(copy => download(copy.toDataURL("image/png"), file));
  }));
  $("save-screen").addEventListener("click", () => whole(() => {
    const file = name("screen.png");
    held(() => element.toBlob(blob => download(blob, file), "image/png"));
  }));
  $("save-svg").addEventListener("click", () => whole(() => saveText(0, "image/svg+xml", "svg")));
  $("save-csv").addEventListener("click", () => whole(() => saveText(1, "text/csv", "csv")));
  // With a mechanism of the user's, the keys go into a mechanism file: its first
  // line is "#mechanism=" and the mechanism as the link writes it.
  $("save-keys").addEventListener("click", () => {
    const m = mechanism.linkText === builtInText ? "" : "#mechanism=" + mechanism.linkText + "\n";
    download(new Blob([m + history.script() + "\n"], { type: "text/plain" }), "zebo-morlix-" + (m ? "mechanism" : "keys") + ".txt");
  });
  const file = $("keys-file");
  $("open-keys").addEventListener("click", () => file.click());
  // Opened keys are read and checked first, a part at a time between the
  // browser's turns, by the renderer's own parser (its words): a file that cannot
  // be played changes nothing. One that can replaces the run as a new history
  // entry (Back returns to the keys before): in the address when it fits, else in
  // the entry's state, up to the renderer's 64 MiB.
  const maxKeysFile = 64 * 1048576, checkPart = 1 << 20;
  const blank = b => b === 32 || (b >= 9 && b <= 13);
  const turn = () => new Promise(resolve => setTimeout(resolve, 0));
  const check = async bytes => {
    for (let at = 0; at < bytes.length;) {
      let end = Math.min(at + checkPart, bytes.length);
      while (end < bytes.length && !blank(bytes[end])) end++;
      checked = bytes.subarray(at, end);
      const error = fromProgram(() => Module._zmCheck());
      checked = new Uint8Array(0);
      if (error) return error;
      at = end;
      if (at < bytes.length) await turn();
    }
    return "";
  };
  const openKeys = async (bytes, fileName = "the keys") => {
    if (!ready) return;
    const what = "'" + fileName + "'";
    if (bytes.length > maxKeysFile) {
      say(what + " is larger than 64 MiB: split the script. Nothing was changed.", true);
      return;
    }
    if (bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) bytes = bytes.subarray(3); // an editor's byte-order mark
    // A mechanism file: the mechanism is taken for the check, and given back if
    // the keys cannot be played.
    const marked = "#mechanism=", head = new TextDecoder().decode(bytes.subarray(0, marked.length));
    let opened = "";
    if (head === marked) {
      const end = bytes.indexOf(10) < 0 ? bytes.length : bytes.indexOf(10);
      opened = new TextDecoder().decode(bytes.subarray(marked.length, end)).trim();
      bytes = bytes.subarray(end);
      const before = mechanism.linkText;
      mechanism.text = opened;
      let error = fromProgram(() => Module._zmSetMechanism(1));
      if (!error) error = await check(bytes);
      mechanism.text = before;
      fromProgram(() => Module._zmSetMechanism(1));
      mechanism.text = null;
      if (error) {
        say(what + " cannot be used: " + error + ". Nothing was changed.", true);
        return;
      }
    }
    const error = opened ? "" : await check(bytes);
    if (error) {
      say(what + " cannot be played: " + error + ". Nothing was changed.", true);
      return;
    }
    const base = location.pathname + location.search;
    let hash = "";
    // Keys alone keep the mechanism in use.
    if (!opened) opened = mechanism.linkText;
    const part = opened !== builtInText ? "mechanism=" + opened : "";
    if (bytes.length < maxAddress && part.length <= maxAddress / 2) {
      const text = new TextDecoder().decode(bytes).replace(/^[ \t\n\v\f\r]+|[ \t\n\v\f\r]+$/g, "");
      hash = "#" + [part, text ? "keys=" + encodeURIComponent(text) : ""].filter(p => p).join("&");
      if (hash === "#") hash = "#keys=";
    }
    if (hash && location.href.split("#")[0].length + hash.length <= maxAddress) {
      window.history.pushState({ zmOpened: true }, "", base + hash);
    } else {
      const entry = { zmOpened: true, zmKeys: bytes.slice() };
      if (part) entry.zmMechanism = opened;
      window.history.pushState(entry, "", base);
    }
    restarting = true;
    location.reload();
  };
  file.addEventListener("change", () => {
    const f = file.files[0];
    file.value = ""; // the same file can be chosen again
    if (!f) return;
    unsay();
    if (f.size > maxKeysFile) {
      say("'" + f.name + "' is larger than 64 MiB: split the script. Nothing was changed.", true);
      return;
    }
    f.arrayBuffer().then(buffer => openKeys(new Uint8Array(buffer), f.name),
                         e => say("'" + f.name + "' cannot be read: " + e.message + ". Nothing was changed.", true));
  });

  window.zeboMorlix = Object.freeze({
    state: () => {
      const { replaying, ...s } = state;
      // The plain names beside the short ones are not enumerable: the object
      // compares, copies and prints as it always has.
      return Object.defineProperties(s, {
        controlAngle: { value: s.k },
        overlays: { value: s.acc },
        pileUp: { value: s.ccllss },
        sweepFrame: { value: sweepFrame(s.k) },
      });
    },
    script: () => history.script(),
    svg,
    csv,
    mechanism: () => mechanismNow(),
    setMechanism: m => setMechanism(m),
    events: () => fromProgram(() => Module._zmEvents()),
    openKeys: (keys, fileName) => openKeys(typeof keys === "string" ? new TextEncoder().encode(keys) : keys, fileName),
  });
  const failed = error => say("This browser cannot run the program: " + error + ".", true);
  const started = () => { ready = true; fill(); };
  // What the program awaits once it has ended: nothing, so it is never resumed.
  const never = () => new Promise(() => {});
  return { canvas, input, history, link, mechanism, publish, end, pause, never, failed, started, takeText };
