// The page's script, second part (see shell-canvas.js): what the program
// reads and tells at its pumps and waits: its state, Play, the input queue, the
// key history in the address, the link's keys, the browser's turns, the readouts
// and the program's end.
  let state = { frame: 0, k: 0, acc: 0, ccllss: 0, waiting: false, ended: false, replaying: false };
  let ended = false;

  // Play: a plain step at each wait after the chosen delay, with one timer, and
  // only while playing. It stops before the step that would end the program.
  const playButton = $("play");
  const speed = $("speed");
  const play = {
    on: false,
    timer: 0,
    start() {
      if (ended) return;
      this.on = true;
      playButton.textContent = "Pause";
      playButton.setAttribute("aria-pressed", "true");
      if (state.waiting) this.atWait(state);
    },
    stop() {
      if (!this.on) return;
      this.on = false;
      clearTimeout(this.timer);
      this.timer = 0;
      playButton.textContent = "Play";
      playButton.setAttribute("aria-pressed", "false");
    },
    atWait(s) {
      if (!this.on || this.timer) return;
      if (s.ended || s.k + step > lastK) {
        this.stop();
        if (!s.ended) say("Play stopped at the sweep's last frame (k = " + lastK + "): one more step would end the program.");
        return;
      }
      this.timer = setTimeout(() => {
        this.timer = 0;
        if (this.on) input.push(plainStep, true);
      }, Number(speed.value) * 1000);
    },
  };
  playButton.addEventListener("click", () => { unsay(); play.on ? play.stop() : play.start(); });

  // The page's own tasks: from the moment the program resumes (at a key it waited
  // for, or when the browser hands back control during a replay) until it gives
  // control back. One over 50 ms is recorded as the measure "zm-long-task", for
  // the browser's developer tools and the page's tests; nothing else is kept.
  let taskStart = 0;
  const taskBegins = () => { taskStart = performance.now(); };
  const taskEnds = () => {
    if (taskStart && performance.now() - taskStart > 50) performance.measure("zm-long-task", { start: taskStart });
    taskStart = 0;
  };

  // Key codes (-1 for a double click, -3 for a jump) wait here for the program's
  // next pump. Anything the user does stops Play.
  let wake = null;
  const input = {
    queue: [],
    jumps: [],
    push(code, byPage) {
      if (ended) return;
      if (!byPage) { play.stop(); unsay(); }
      // Where the browser did not say that the ratio changed, the store is
      // fitted before the program draws again.
      if ((window.devicePixelRatio || 1) !== fittedRatio) fit();
      performance.mark("zm-input");
      this.queue.push(code);
      if (wake) held(() => { if (wake) { const w = wake; wake = null; taskBegins(); w(); } });
    },
    jump(n) {
      if (ended) return;
      this.jumps.push(n);
      this.push(-3);
    },
    jumpTarget() { return this.jumps.length ? this.jumps.shift() : 0; },
    next() { return this.queue.length ? this.queue.shift() : -2; },
    wait() {
      if (this.queue.length) return Promise.resolve();
      taskEnds();
      return new Promise(resolve => { wake = resolve; });
    },
  };

  // The key history: runs of one step, written KEY*N from three on.
  const runs = [];
  let addressStopped = false;
  const history = {
    add(s) {
      const last = runs[runs.length - 1];
      if (last && last.step === s && s.indexOf("@", 1) < 0) last.count++;
      else runs.push({ step: s, count: 1 });
    },
    script() {
      const out = [];
      for (const r of runs) {
        if (r.count >= 3) out.push(r.step + "*" + r.count);
        else for (let i = 0; i < r.count; i++) out.push(r.step);
      }
      return out.join(" ");
    },
    // The address holds the mechanism (when it is not the built-in one) and the
    // keys played, until it would grow past 64 KB.
    show(force) {
      // Until a step is played the address stays as it came, a refused link included.
      if (addressStopped || !(runs.length || force)) return;
      const script = this.script();
      const keys = script ? "keys=" + encodeURIComponent(script) : "";
      const parts = [mechanism.link(), keys].filter(p => p);
      const hash = parts.length ? "#" + parts.join("&") : "";
      const base = location.pathname + location.search;
      if (location.href.split("#")[0].length + hash.length > maxAddress) {
        addressStopped = true;
        window.history.replaceState(window.history.state, "", base);
        say("The keys no longer fit in an address (64 KB), so the address now holds none: Save keys keeps them.", true);
        return;
      }
      if (location.hash !== hash) window.history.replaceState(window.history.state, "", base + hash);
    },
  };

  // The keys are read as bytes, as the renderer reads them: the link's #keys=
  // with its escapes undone (NUL and bytes that are not UTF-8 kept, for the parser
  // to refuse), or keys opened from a file that are too long for an address, kept
  // in the history entry's state.
  const percentDecoded = text => {
    const raw = new TextEncoder().encode(text), out = new Uint8Array(raw.length);
    const hex = c => (c >= 48 && c <= 57 ? c - 48 : c >= 65 && c <= 70 ? c - 55 : c >= 97 && c <= 102 ? c - 87 : -1);
    let n = 0;
    for (let i = 0; i < raw.length; i++) {
      if (raw[i] === 37 && i + 2 < raw.length && hex(raw[i + 1]) >= 0 && hex(raw[i + 2]) >= 0) {
        out[n++] = hex(raw[i + 1]) * 16 + hex(raw[i + 2]);
        i += 2;
      } else {
        out[n++] = raw[i];
      }
    }
    return out.subarray(0, n);
  };
  // The address's #mechanism=M&keys=K, either part alone; null for another.
  const linkParts = () => {
    const m = /^#(?:mechanism=([^&]*)(?:&|$))?(?:keys=(.*))?$/s.exec(location.hash);
    return m && (m[1] !== undefined || m[2] !== undefined) ? m : null;
  };
  const stateOf = what => window.history.state && window.history.state[what];
  const linked = () => {
    const m = linkParts();
    if (m && m[2] !== undefined) return percentDecoded(m[2]);
    return stateOf("zmKeys") instanceof Uint8Array ? stateOf("zmKeys") : null;
  };
  // The link's mechanism as text: the address's, or one kept in the history
  // entry's state that was too large for it; empty for the built-in one.
  const linkedMechanism = () => {
    const m = linkParts();
    const text = m && m[1] !== undefined ? new TextDecoder().decode(percentDecoded(m[1])) : stateOf("zmMechanism");
    return typeof text === "string" ? text : "";
  };
  let checked = new Uint8Array(0);
  const link = {
    source: window.history.state && window.history.state.zmOpened ? "The opened keys" : "This link's keys",
    script() { return linked() || new Uint8Array(0); },
    // What the program reads: 0 the keys to replay, 1 the keys zmCheck reads, 2
    // the mechanism's text, 3 a profile file's bytes.
    bytes(which) {
      if (which === 0) return mechanism.replay || this.script();
      if (which === 1) return checked;
      if (which === 2) return new TextEncoder().encode(mechanism.text === null ? linkedMechanism() : mechanism.text);
      return mechanism.profile;
    },
    report(message) { say(this.source + " cannot be played: " + message + ". The program starts without them.", true); },
    cut(message) { say(this.source + " stop early: " + message + ". The program goes on from there.", true); },
    over(message) { say(this.source + " were not all played: " + message + ".", true); },
  };
  // Another address with keys (pasted, or reached with back and forward) starts
  // the program again with them, and so does the bare address; one that only
  // names a place (#top) does not. The page's own updates replace the address
  // and are not seen here.
  let restarting = false;
  const restart = () => {
    if (restarting || !(linkParts() || !location.href.includes("#"))) return;
    restarting = true;
    location.reload();
  };
  window.addEventListener("hashchange", restart);
  window.addEventListener("popstate", restart);

  // A message to ourselves: the browser paints and takes input, and no timer
  // clamps the way back.
  const channel = new MessageChannel();
  let resume = null;
  channel.port1.onmessage = () => held(() => { taskBegins(); const r = resume; resume = null; r(); });
  let yielded = false;
  const pause = () => new Promise(resolve => {
    if (!yielded) { yielded = true; performance.mark("zm-first-yield"); } // for measuring the replay's tasks
    taskEnds();
    resume = resolve;
    channel.port2.postMessage(0);
  });

  // Frames are named by their place in the sweep (k = firstK + step n, n from 0
  // to lastFrame), in tenths after Tab or Enter: the slider, its words, the canvas's
  // description and the saved files' names all count the same way.
  const sweepFrame = k => {
    const n = Math.round((k - firstK) / step * 10) / 10;
    return n === 0 ? 0 : n; // never -0
  };
  const describe = s =>
    "Frame " + sweepFrame(s.k) + " of the sweep: control angle k = " + kText(s.k) + " radians; velocity and acceleration overlays " +
    (s.acc ? "on" : "off") + "; frames " + (s.ccllss ? "pile up" : "are cleared between frames") +
    (s.ended ? "; the program has ended" : s.waiting ? "; waiting for a key" : "");
  const jump = $("jump");
  const frameText = n => "frame " + n + " of the sweep, k = " + kText(firstK + step * n);
  let focused = embedded; // a page in a frame does not take the focus from its host page
  let shown = "";
  // The live region speaks at each wait, but during Play at most once a second
  // (and once more where Play stops).
  let spokenAt = -Infinity, unspoken = "";
  const speak = words => {
    const now = performance.now();
    if (play.on && now - spokenAt < 1000) { unspoken = words; return; }
    spokenAt = now;
    unspoken = "";
    spoken.textContent = words;
  };
  // Saves wait for the frame being drawn to be whole (see whole below).
  let waitingSaves = [];
  const publish = s => {
    state = s;
    if (!focused) { focused = true; focusByPage = true; element.focus(); } // after the first frame: focusing lays out the page
    const text = "k = " + kText(s.k) + " \u00b7 overlays " + (s.acc ? "on" : "off") + " \u00b7 frames " +
      (s.ccllss ? "pile up" : "cleared") + (s.ended ? " \u00b7 the program has ended" : s.replaying ? " \u00b7 replaying" : "");
    if (text !== shown) { readout.textContent = text; shown = text; }
    if (s.waiting || s.ended) mechanism.showEvents();
    if (s.waiting) performance.mark("zm-wait"); // for measuring a frame's time
    if (s.waiting || s.ended) {
      history.show();
      const words = describe(s);
      element.setAttribute("aria-label", "The valve-lift geometry. " + words);
      speak(words);
      const n = sweepFrame(s.k);
      jump.value = String(Math.min(Math.max(n, 0), lastFrame));
      jump.setAttribute("aria-valuetext", frameText(n));
      jumpLabel(n);
      const saves = waitingSaves;
      waitingSaves = [];
      for (const save of saves) save();
    }
    if (s.waiting) play.atWait(s);
    if (!play.on && unspoken) speak(unspoken);
  };

  const endedBy = () => {
    const last = runs.length ? runs[runs.length - 1].step.split("@")[0] : "";
    return last === "esc" ? "Escape was pressed" : last === "dblclick" ? "a double click" : "";
  };
  const end = byUser => {
    ended = true;
    taskEnds();
    performance.mark("zm-end");
    play.stop();
    publish(Object.assign({}, state, { ended: true, waiting: false, replaying: false }));
    const why = byUser ? endedBy() || "Escape or a double click" : "the sweep passed its last frame (k = " + lastK + ")";
    const note = say("The program has ended: " + why + ".");
    const again = document.createElement("button");
    again.type = "button";
    again.textContent = "Run again";
    // Again with the same mechanism, and no keys.
    again.addEventListener("click", () => {
      const m = mechanism.link(), big = !m && mechanism.linkText !== builtInText;
      window.history.replaceState(big ? { zmMechanism: mechanism.linkText } : null, "", location.pathname + location.search + (m ? "#" + m : ""));
      restarting = true;
      location.reload();
    });
    note.appendChild(again);
    hint();
    if (!embedded) again.focus();
  };

