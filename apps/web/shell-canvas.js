// The page's script, first part (assemble.js joins the parts into the one script
// of the page, inside its `zm`): the status messages, the canvas the program
// draws on, and the page's work on the whole picture a part at a time.
  const $ = id => document.getElementById(id);
  const element = $("canvas");
  const status = $("status");
  const spoken = $("spoken");
  const readout = $("readout");
  const pointer = $("pointer");
  const embedded = document.documentElement.classList.contains("embed");
  // The plane's client size in logical pixels: the design's until the program
  // gives its own (zmPlaneWidth and zmPlaneHeight, through canvas.plane below).
  let planeWidth = 962, planeHeight = 688;
  // The sweep, from the core (src/window/Sweep.h, written in by assemble.js).
  const step = {{{ Sweep::step }}}, firstK = {{{ Sweep::firstK }}}, lastK = {{{ Sweep::lastK }}}, lastFrame = {{{ Sweep::lastFrame }}};
  const maxAddress = 65536;
  const plainStep = 120; // "x": any key that is not one of the program's own

  // Status messages, whole and wrapped: each stays until the user next acts, so
  // a problem with the link and the end of the program that follows it both show.
  const say = (text, problem) => {
    const note = document.createElement("span");
    note.className = problem ? "note problem" : "note";
    note.textContent = String(text).replace(/\s+/g, " ").trim();
    status.appendChild(note);
    return note;
  };
  const unsay = () => { if (!ended) status.textContent = ""; };
  // k as the page writes it: three decimals, and never "-0.000".
  const kText = k => (Math.abs(k) < 0.0005 ? 0 : k).toFixed(3);

  // The canvas: its backing store follows its displayed size times the device
  // pixel ratio, and the plane's client area is mapped onto the whole store.
  let target = element, ctx = element.getContext("2d", { alpha: false });
  let fillColour = -1, strokeColour = -1, strokeWidth = -1;
  // The canvas the strokes go to: the page's, or a copy at the plane's size.
  const aim = to => {
    target = to;
    ctx = to.getContext("2d", { alpha: false });
    ctx.lineCap = "round";
    ctx.lineJoin = "round";
    fillColour = strokeColour = strokeWidth = -1;
  };
  let ready = false;
  const fresh = () => {
    // A new store size resets the context's state (the canvas's own, also while
    // the strokes go to a copy).
    const own = element.getContext("2d", { alpha: false });
    own.lineCap = "round";
    own.lineJoin = "round";
    fillColour = strokeColour = strokeWidth = -1;
    own.fillStyle = "#fff";
    own.fillRect(0, 0, element.width, element.height);
  };
  // Sizes the store to the canvas as shown and draws the picture again from its
  // segments at the new scale (nothing is played again).
  // Every fit also watches for the next change of the ratio it fitted to (a
  // window dragged to another screen and back, as often as it happens).
  let fittedRatio = 0, ratioQuery = null;
  const ratioChanged = () => fit();
  const fit = () => {
    const r = element.getBoundingClientRect(), d = window.devicePixelRatio || 1;
    if (d !== fittedRatio) {
      fittedRatio = d;
      if (ratioQuery) ratioQuery.removeEventListener("change", ratioChanged);
      ratioQuery = matchMedia("(resolution: " + d + "dppx)");
      ratioQuery.addEventListener("change", ratioChanged);
    }
    const w = Math.max(1, Math.round(r.width * d)), h = Math.max(1, Math.round(r.height * d));
    if (w === element.width && h === element.height) return;
    element.width = w;
    element.height = h;
    fresh();
    if (ready) redraw();
  };
  // The store starts at the plane's size times the ratio, without asking for a
  // layout (the first frame is drawn before the page is laid out); the observer
  // below fits it to the displayed size once there is one.
  const startStore = () => {
    element.width = Math.round(planeWidth * (window.devicePixelRatio || 1));
    element.height = Math.round(planeHeight * (window.devicePixelRatio || 1));
    fresh();
  };
  startStore();
  // Observing the device-pixel box also reports a new ratio where the browser can.
  const observer = new ResizeObserver(() => fit());
  try {
    observer.observe(element, { box: "device-pixel-content-box" });
  } catch (e) {
    observer.observe(element);
  }
  window.addEventListener("resize", () => fit());

  const styles = new Map();
  const css = c => {
    let s = styles.get(c);
    if (s === undefined) {
      s = "rgb(" + (c & 255) + "," + ((c >> 8) & 255) + "," + ((c >> 16) & 255) + ")";
      styles.set(c, s);
    }
    return s;
  };
  // Frames piled past the program's bound: the canvas's pixels as they stood
  // then, in place of their segments (see keep below), until the program clears.
  let kept = null;
  const pileWords = "Frames have piled up past " + (100000).toLocaleString("en") + " segments, so the page keeps " +
    "the older ones as pixels at this size (a new size scales them). Their SVG and CSV are the renderer's job: " +
    "Save keys, then zebo-morlix-render --keys-file zebo-morlix-keys.txt --svg picture.svg --csv picture.csv";
  // Draws a batch of strokes, seven numbers each from `at` in `heap`: kind (0
  // the program's clear, 1 fill the rectangle x, y, across, down, 2 line from
  // x1, y1 to x2, y2 with a width, 3 the page afresh for a drawing again: white
  // and the pixels kept of a pile), four numbers, width, colour 0x00BBGGRR.
  const canvas = {
    element,
    scale: () => target.width / planeWidth,
    width: () => target.width,
    height: () => target.height,
    // A mechanism that needs more room than the design's plane gets a larger
    // canvas at the same scale, shown as wide as the page allows; the store
    // starts afresh at the new size (the program draws on it next).
    plane() {
      const w = Module._zmPlaneWidth(), h = Module._zmPlaneHeight();
      if (w === planeWidth && h === planeHeight) return;
      planeWidth = w;
      planeHeight = h;
      element.style.width = w + "px";
      element.style.aspectRatio = w + " / " + h;
      const stage = $("stage");
      stage.style.maxWidth = w + "px";
      stage.style.flexBasis = w + "px";
      $("save").title = w + " x " + h + ", as zebo-morlix-render --png";
      startStore();
    },
    // The canvas's pixels as they stand take the place of the segments drawn so
    // far; the page says so once a pile.
    keep() {
      const pixels = kept && kept.width === element.width && kept.height === element.height ? kept : document.createElement("canvas");
      pixels.width = element.width;
      pixels.height = element.height;
      pixels.getContext("2d", { alpha: false }).drawImage(element, 0, 0);
      if (!kept) say(pileWords + ".");
      kept = pixels;
    },
    draw(heap, at, count) {
      for (let i = at, end = at + 7 * count; i < end; i += 7) {
        const kind = heap[i], c = heap[i + 6];
        if (kind === 1) {
          if (c !== fillColour) { ctx.fillStyle = css(c); fillColour = c; }
          ctx.fillRect(heap[i + 1], heap[i + 2], heap[i + 3], heap[i + 4]);
        } else if (kind === 2) {
          if (c !== strokeColour) { ctx.strokeStyle = css(c); strokeColour = c; }
          if (heap[i + 5] !== strokeWidth) { strokeWidth = heap[i + 5]; ctx.lineWidth = strokeWidth; }
          ctx.beginPath();
          ctx.moveTo(heap[i + 1], heap[i + 2]);
          ctx.lineTo(heap[i + 3], heap[i + 4]);
          ctx.stroke();
        } else {
          ctx.fillStyle = "#fff";
          fillColour = -1;
          ctx.fillRect(0, 0, target.width, target.height);
          if (kind === 0) kept = null;
          else if (kept) ctx.drawImage(kept, 0, 0, target.width, target.height);
        }
      }
    },
  };

  // The page's work on the whole picture (drawing it again at a new size or on
  // a copy, writing its SVG or CSV) is done a part at a time, and the browser
  // gets control between the parts, however large the pile. One job at a time;
  // the program waits until they are all done (held below), so that nothing it
  // draws comes between. A job is begin() and more(ms), true once it is done.
  const partMs = 5;
  const jobs = [];
  let working = false, heldBack = [];
  const parts = new MessageChannel();
  let nextPart = null;
  parts.port1.onmessage = () => { const r = nextPart; nextPart = null; r(); };
  const browserTurn = () => new Promise(resolve => { nextPart = resolve; parts.port2.postMessage(0); });
  const work = job => new Promise(resolve => {
    jobs.push({ job, resolve });
    if (!working) runJobs();
  });
  const runJobs = async () => {
    working = true;
    while (jobs.length) {
      const { job, resolve } = jobs.shift();
      job.begin();
      while (!job.more(partMs)) await browserTurn();
      resolve(job.done ? job.done() : undefined);
    }
    working = false;
    const go = heldBack;
    heldBack = [];
    for (const g of go) g();
  };
  // Runs `go` now, or once the page's jobs are done.
  const held = go => { if (working) heldBack.push(go); else go(); };
  // The picture drawn again at the store's size; drawn again from the start if
  // the size changes while it is drawn.
  let redrawing = false;
  const redraw = () => {
    if (redrawing) return;
    redrawing = true;
    let w = 0, h = 0;
    const begin = () => { w = element.width; h = element.height; Module._zmDrawBegin(0); };
    work({
      begin() { redrawing = false; begin(); },
      more(ms) {
        if (element.width !== w || element.height !== h) begin();
        return Module._zmDrawMore(ms) !== 0;
      },
    });
  };
  // The picture drawn afresh on a canvas of the plane's size.
  const designCopy = () => {
    const copy = document.createElement("canvas");
    copy.width = planeWidth;
    copy.height = planeHeight;
    let own = null;
    return work({
      begin() { own = target; aim(copy); Module._zmDrawBegin(1); },
      more(ms) {
        const whole = Module._zmDrawMore(ms) !== 0;
        if (whole) aim(own);
        return whole;
      },
      done: () => copy,
    });
  };
  // The picture's SVG (csv 0) or CSV (csv 1) as bytes.
  let written = null;
  const takeText = bytes => { written = bytes; };
  const pictureText = csv => work({
    begin() { written = new Uint8Array(0); Module._zmTextBegin(csv); },
    more: ms => Module._zmTextMore(ms) !== 0,
    done() { const bytes = written; written = null; return bytes; },
  });

