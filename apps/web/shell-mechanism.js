// The page's script, third part (see shell-canvas.js): the Mechanism panel.
// Each change is read and checked whole by the program; one it takes starts the
// program again with it, replaying the keys played so far (as a link replays its
// keys), and goes into the address. The lengths go over as the text typed, the
// rows of setMechanism as numbers: the program reads both, and writes the link
// with the shortest texts, so a link reopens its mechanism bit for bit.
  const lengthNames = ["ground", "crank", "coupler", "rocker", "radius", "rod", "checking"];
  const field = n => $("m-" + n);
  // The panel's rows: a label, the field and its message.
  $("m-fields").innerHTML = lengthNames.concat("profile").map((n, i) =>
    '<label for="m-' + n + '">' + ["Ground", "Crank", "Coupler", "Rocker", "Crank radius", "Rod", "Checking lift", "Profile file"][i] +
    '</label><input id="m-' + n + '" aria-describedby="m-' + n + '-says" ' +
    (i < 7 ? 'inputmode="decimal"' : 'type="file" accept=".csv,.txt,.tsv,text/plain,text/csv"') +
    '><span id="m-' + n + '-says" aria-live="polite"></span>').join("");
  field("checking").placeholder = "a tenth of the greatest";
  const says = (n, text) => {
    $("m-" + n + "-says").textContent = text;
    field(n).setAttribute("aria-invalid", text ? "true" : "false");
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
    // The run before has left its stack (or ended): the next starts in a task
    // of its own, replaying the keys so far (all of a replay still going on),
    // and the history starts again with them.
    leave() {
      this.wanted = false;
      this.replay = state.replaying ? link.bytes(0) : new TextEncoder().encode(history.script());
      runs.length = 0;
      // A change is the user's doing: Play stops, and no input waiting for the
      // run before cuts the new run's replay.
      play.stop();
      input.queue.length = input.jumps.length = 0;
      setTimeout(() => held(mechanism.start), 0);
    },
    start() {
      if (ended) { ended = false; status.textContent = ""; }
      link.source = "The keys so far";
      taskBegins();
      mechanism.stackTop();
      Module._zmRun();
    },
    // The link's part: none for the built-in mechanism, and none when it would
    // take more than half an address (Save keys keeps it then).
    link() {
      const t = this.linkText;
      return t === builtInText || t.length > maxAddress / 2 ? "" : "mechanism=" + t;
    },
    showEvents() {
      const f = Module._zmEventFigure, c = f(0), a = f(1), b = f(2);
      const deg = d => (isNaN(d) ? "none" : d.toFixed(1) + "\u00b0");
      $("events").textContent = "at lift " + Number(c.toFixed(3)) + ": first profile " + deg(a) + ", moving trace " + deg(b) +
        (a && b === b ? " (" + (b >= a ? "+" : "") + ((b - a) / a * 100).toFixed(1) + " %)" : "");
    },
  };
  // The fields show the mechanism the program has (but for the text typed in them).
  const fill = typed => {
    const t = mechanism.linkText = fromProgram(() => Module._zmMechanismText(0));
    t.split(";")[0].split(",").forEach((v, i) => {
      if (!typed) field(lengthNames[i]).value = v;
      says(lengthNames[i], "");
    });
    // One too large for the address is kept in the history entry (and only then).
    const big = t.length > maxAddress / 2;
    if (big ? stateOf("zmMechanism") !== t : stateOf("zmMechanism")) {
      const entry = Object.assign({}, window.history.state);
      if (big) entry.zmMechanism = t;
      else delete entry.zmMechanism;
      window.history.replaceState(entry, "", location.href);
    }
    if (big && !mechanism.saidBig) {
      mechanism.saidBig = true;
      say("This mechanism's profile is too large for an address (64 KB), so the address holds the keys only: Save keys keeps both as a mechanism file.", true);
    }
  };
  // Sets the mechanism by one of the program's ways (zmSetMechanism); its refusal,
  // or "". One taken goes into the fields and the address, and the program starts
  // again: at once if it has ended, else at its next pump or wait.
  const setBy = (how, text) => {
    if (!ready) return "the program has not started yet";
    mechanism.text = text;
    const fault = fromProgram(() => Module._zmSetMechanism(how));
    mechanism.text = null;
    if (fault) return fault;
    fill(how === 0);
    if (how !== 3) says("profile", "");
    history.show(true);
    if (ended) mechanism.leave();
    else {
      // Not waiting from now on: the new run is drawing.
      state = Object.assign({}, state, { waiting: false });
      mechanism.wanted = true;
      if (wake) { const w = wake; wake = null; w(); }
    }
    return "";
  };
  for (const n of lengthNames) {
    field(n).addEventListener("input", () => {
      const fault = setBy(0, lengthNames.map(n => field(n).value.trim()).join(","));
      if (fault) says(n, fault.charAt(0).toUpperCase() + fault.slice(1) + ".");
    });
  }
  // A profile file, chosen or dropped on the panel.
  const profileFile = async f => {
    if (!f) return;
    let fault = f.size > 64 * 1048576 ? "it is larger than 64 MiB" : "";
    if (!fault) {
      mechanism.profile = new Uint8Array(await f.arrayBuffer());
      fault = setBy(3, null);
      mechanism.profile = new Uint8Array(0);
    }
    says("profile", fault ? "'" + f.name + "' cannot be used: " + fault + "." : "");
    $("m-profile-says").textContent ||= "Rows from '" + f.name + "'.";
  };
  const picker = field("profile");
  picker.addEventListener("change", () => { const f = picker.files[0]; picker.value = ""; profileFile(f); });
  const panel = $("mechanism");
  panel.addEventListener("dragover", e => e.preventDefault());
  panel.addEventListener("drop", e => { e.preventDefault(); profileFile(e.dataTransfer.files[0]); });
  $("m-built-in").addEventListener("click", () => setBy(4, null));
  const number = v => (Object.is(v, -0) ? "-0" : String(v));
  // Without rows the rows stay.
  const setMechanism = m => {
    mechanism.rows = m.rows || [];
    const fault = setBy(m.rows ? 2 : 0, lengthNames.map(n => (n === "checking" ? (m.checkingLift === undefined ? "" : number(m.checkingLift)) : number(m[n]))).join(","));
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
