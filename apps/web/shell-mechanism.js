// The page's script, fourth part (see shell-canvas.js): the Mechanism panel.
// Each change is read and checked whole by the program; one it takes starts the
// program again with it, replaying the keys played so far (as a link replays its
// keys), and goes into the address. The lengths are passed as the text typed, the
// rows of setMechanism as numbers: the program reads both, so the link's
// shortest texts reopen the mechanism bit for bit.
  const lengthNames = ["ground", "crank", "coupler", "rocker", "radius", "rod", "checking"];
  const field = n => $("m-" + n);
  const says = (n, text) => {
    $("m-" + n + "-says").textContent = text;
    if (n !== "profile") field(n).setAttribute("aria-invalid", text ? "true" : "false");
  };
  const builtInText = "31.5,7,25,31,25.5,100,";
  const mechanism = {
    wanted: false,
    replay: null,
    text: null,
    profile: new Uint8Array(0),
    rows: [],
    linkText: "",
    refused(message) { say("This link's mechanism cannot be used: " + message + ". The program starts with the built-in one.", true); },
    // The run before has left its stack: the next starts in a task of its own.
    leave() {
      this.wanted = false;
      this.replay = state.replaying ? link.bytes(0) : new TextEncoder().encode(history.script());
      runs.length = 0;
      setTimeout(() => held(this.start), 0);
    },
    start() {
      if (ended) { ended = false; status.textContent = ""; }
      link.source = "The keys so far";
      taskBegins();
      Module._zmRun();
    },
    // The link's part: none for the built-in mechanism, and none when it is too
    // large for an address (Save keys keeps it then).
    link() {
      const t = this.linkText;
      return t === builtInText || t.length > maxAddress / 2 ? "" : "mechanism=" + t;
    },
    showEvents() {
      const f = i => Module._zmEventFigure(i);
      const c = f(0), a = f(1), b = f(2);
      const deg = d => (isNaN(d) ? "none" : d.toFixed(1) + "\u00b0");
      const change = isNaN(a) || isNaN(b) || a === 0 ? "" : " (" + (b >= a ? "+" : "") + ((b - a) / a * 100).toFixed(1) + " %)";
      $("events").textContent = "at lift " + Number(c.toFixed(3)) + ": first profile " + deg(a) +
        (isNaN(b) && ended ? "" : ", moving trace " + deg(b) + change);
    },
  };
  // The fields show the mechanism the program has.
  const fill = () => {
    mechanism.linkText = fromProgram(() => Module._zmMechanismText(0));
    mechanism.linkText.split(";")[0].split(",").forEach((v, i) => { field(lengthNames[i]).value = v; says(lengthNames[i], ""); });
    const t = mechanism.linkText;
    if (t.length > maxAddress / 2 && !stateOf("zmMechanism")) {
      window.history.replaceState(Object.assign({}, window.history.state, { zmMechanism: t }), "", location.href);
      say("This mechanism's profile is too large for an address (64 KB), so the address holds the keys only: Save keys keeps both as a mechanism file.", true);
    }
  };
  // A change the program took: the address follows, and the program starts again.
  const changed = () => {
    fill();
    if (!mechanism.linkText.includes(";")) says("profile", "");
    history.show(true);
    if (ended) held(mechanism.start);
    else {
      mechanism.wanted = true;
      if (wake) { const w = wake; wake = null; w(); }
    }
  };
  // Sets the mechanism by one of the program's calls; its refusal, or "".
  const setBy = (call, text) => {
    if (!ready) return "the program has not started yet";
    mechanism.text = text;
    const fault = fromProgram(call);
    mechanism.text = null;
    if (!fault) changed();
    return fault;
  };
  const fieldsText = () => lengthNames.map(n => field(n).value.trim()).join(",");
  for (const n of lengthNames) {
    field(n).addEventListener("input", () => {
      const fault = setBy(() => Module._zmSetLengths(), fieldsText());
      if (fault) says(n, fault.charAt(0).toUpperCase() + fault.slice(1) + ".");
    });
  }
  // A profile file, chosen or dropped on the panel.
  const profileFile = async f => {
    if (!f) return;
    if (f.size > 64 * 1048576) { says("profile", "'" + f.name + "' is larger than 64 MiB."); return; }
    mechanism.profile = new Uint8Array(await f.arrayBuffer());
    const fault = setBy(() => Module._zmSetProfileText(), null);
    mechanism.profile = new Uint8Array(0);
    says("profile", fault ? "'" + f.name + "' cannot be used: " + fault + "." : "Rows from '" + f.name + "'.");
  };
  const picker = field("profile");
  picker.addEventListener("change", () => { const f = picker.files[0]; picker.value = ""; profileFile(f); });
  const panel = $("mechanism");
  panel.addEventListener("dragover", e => e.preventDefault());
  panel.addEventListener("drop", e => { e.preventDefault(); profileFile(e.dataTransfer.files[0]); });
  $("m-built-in").addEventListener("click", () => { if (ready) { Module._zmSetBuiltIn(); changed(); } });
  const number = v => (Object.is(v, -0) ? "-0" : String(v));
  const setMechanism = m => {
    const lengths = lengthNames.slice(0, 6).map(n => number(m[n]));
    mechanism.rows = m.rows || [];
    const fault = setBy(() => Module._zmSetRows(), lengths.join(",") + "," + (m.checkingLift === undefined ? "" : number(m.checkingLift)));
    mechanism.rows = [];
    return fault;
  };
  const mechanismNow = () => {
    const [lengths, ...rows] = fromProgram(() => Module._zmMechanismText(1)).split(";");
    const v = lengths.split(",").map(Number), out = {};
    lengthNames.slice(0, 6).forEach((n, i) => { out[n] = v[i]; });
    out.rows = rows.map(r => r.split(",").map(Number));
    return out;
  };
