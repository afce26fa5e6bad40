// The watch page: the folder's data files, the chosen ones charted with
// uPlot, followed as the server says they grow (Server-Sent Events). Every
// range shown is asked of the server, which reduces it to what the chart's
// columns can show; the page keeps no more than that.
"use strict";

const COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf", "#8c564b", "#e377c2",
                 "#7f7f7f", "#bcbd22"];
const MOST_LANES = 16; // series drawn; a file whose time starts over takes one per run
const MOST_READOUT_FILES = 4;

const state = {
  files: [],            // as /api/files gives them
  chosen: new Set(),    // ids
  touched: false,       // the user chose files: none are chosen for them any more
  follow: true,
  followSeconds: 60,
  view: null,           // {from, to} while zoomed or panned; null: every line (or the followed end)
  data: new Map(),      // id -> the last /api/range answer
  plot: null,
  loading: false,
  again: false,
  cursorTime: null,
  version: 0,
};

const $ = id => document.getElementById(id);

function fetchJson(url) {
  return fetch(url, {cache: "no-store"}).then(r => r.json().then(body => {
    if (!r.ok) throw new Error(body.error || r.statusText);
    return body;
  }));
}

function number(value, decimals) {
  return typeof value === "number" ? value.toFixed(decimals) : String(value);
}

// ---- the file list ------------------------------------------------------

function renderFiles(list) {
  const folder = $("folder");
  folder.textContent = (list.exists ? "Folder " : "Waiting for the folder ") + list.folder +
    (list.exists ? "" : " (not there yet)") +
    (list.leftOut > 0 ? "; " + list.leftOut + " more files left out" : "");
  const known = new Set(list.files.map(f => f.id));
  for (const id of [...state.chosen]) if (!known.has(id)) state.chosen.delete(id);
  if (!state.touched && state.chosen.size === 0 && list.files.length > 0) {
    // The newest record, until the user chooses.
    const newest = [...list.files].sort((a, b) => (a.stamp === b.stamp ? a.id - b.id : Number(a.stamp) - Number(b.stamp)));
    state.chosen.add(newest[newest.length - 1].id);
  }
  const box = $("file-list");
  if (list.files.length === 0) {
    box.replaceChildren(Object.assign(document.createElement("p"), {textContent: "No data files yet."}));
    return;
  }
  const byVessel = new Map();
  for (const f of list.files) {
    if (!byVessel.has(f.vessel)) byVessel.set(f.vessel, []);
    byVessel.get(f.vessel).push(f);
  }
  const parts = [];
  for (const [vessel, files] of [...byVessel].sort((a, b) => a[0].localeCompare(b[0]))) {
    parts.push(Object.assign(document.createElement("h3"), {textContent: vessel}));
    for (const f of files) {
      const label = document.createElement("label");
      const box = document.createElement("input");
      box.type = "checkbox";
      box.checked = state.chosen.has(f.id);
      box.dataset.id = f.id;
      box.addEventListener("change", () => {
        state.touched = true;
        if (box.checked) state.chosen.add(f.id); else state.chosen.delete(f.id);
        rebuildPlot();
        load();
      });
      label.append(box, " " + (f.utc || f.name) + (f.stamp ? " (stamp " + f.stamp + ")" : "") + " · " +
        f.lines + (f.lines === 1 ? " line" : " lines") +
        (f.last === null ? "" : " · last " + number(f.last, 1) + " s") + (f.reading ? " · reading…" : ""));
      label.dataset.id = f.id;
      if (f.badLines > 0) {
        const bad = document.createElement("span");
        bad.className = "bad";
        bad.textContent = " · " + f.badLines + (f.badLines === 1 ? " bad line: " : " bad lines; the first: ") + f.firstBad;
        label.append(bad);
      }
      parts.push(label);
    }
  }
  box.replaceChildren(...parts);
}

function refreshFiles() {
  return fetchJson("/api/files").then(list => {
    const before = [...state.chosen].join(",");
    state.files = list.files;
    renderFiles(list);
    if ([...state.chosen].join(",") !== before || !state.plot) rebuildPlot();
    load();
  }).catch(problem => { $("status").textContent = "The server did not answer: " + problem.message; });
}

// ---- the chart ---------------------------------------------------------

function chosenFiles() {
  return state.files.filter(f => state.chosen.has(f.id));
}

// The runs of a file's line as lanes of rising time, each a series of the
// chart; a run whose time goes back takes a lane of its own.
function lanesOf(answer) {
  const runs = [];
  for (let i = 0; i < answer.t.length; ++i) {
    if (!answer.j[i] || runs.length === 0) runs.push({t: [], p: []});
    const run = runs[runs.length - 1];
    if (run.t.length > 0 && answer.t[i] < run.t[run.t.length - 1]) {
      runs.push({t: [answer.t[i]], p: [answer.p[i]]}); // time went back within a run: not drawable as one
      continue;
    }
    run.t.push(answer.t[i]);
    run.p.push(answer.p[i]);
  }
  const lanes = [];
  for (const run of runs) {
    let lane = lanes.find(l => l.t[l.t.length - 1] < run.t[0]);
    if (!lane) {
      lane = {t: [], p: []};
      lanes.push(lane);
    } else {
      // A break between runs: a gap at a time between them.
      lane.t.push((lane.t[lane.t.length - 1] + run.t[0]) / 2);
      lane.p.push(null);
    }
    lane.t.push(...run.t);
    lane.p.push(...run.p);
  }
  return lanes;
}

// The lanes of every file on one time axis, as uPlot takes data: values
// missing where a series has no sample are undefined (the line goes on
// across them), a gap is null.
function joinLanes(lanes) {
  const times = new Set();
  for (const lane of lanes) for (const t of lane.t) times.add(t);
  const xs = Float64Array.from(times).sort();
  const index = new Map();
  xs.forEach((t, i) => index.set(t, i));
  const data = [Array.from(xs)];
  for (const lane of lanes) {
    const ys = new Array(xs.length);
    lane.t.forEach((t, i) => { ys[index.get(t)] = lane.p[i]; });
    data.push(ys);
  }
  return data;
}

function plotSize() {
  const width = Math.max(300, Math.min($("chart-area").clientWidth, 1600));
  return {width: width, height: Math.max(260, Math.min(480, Math.round(width * 0.5)))};
}

let laneSeries = []; // per series of the chart: {id, file}

function rebuildPlot() {
  if (state.plot) {
    state.plot.destroy();
    state.plot = null;
  }
  const files = chosenFiles();
  laneSeries = [];
  const series = [{label: "time (s)", value: (u, v) => v === null ? "–" : number(v, 2)}];
  files.forEach((f, k) => {
    const answer = state.data.get(f.id);
    const lanes = answer ? Math.max(1, lanesOf(answer).length) : 1;
    for (let l = 0; l < lanes && laneSeries.length < MOST_LANES; ++l) {
      laneSeries.push({id: f.id, file: f, lane: l});
      series.push({
        label: f.vessel + (f.stamp ? ", stamp " + f.stamp : "") + (l > 0 ? " (run " + (l + 1) + ")" : ""),
        stroke: COLOURS[k % COLOURS.length],
        dash: k >= COLOURS.length ? [6, 3] : undefined,
        width: 1.5,
        spanGaps: false,
        points: {show: (u, si) => pointCount() <= 400},
        value: (u, v) => v === null || v === undefined ? "–" : number(v, 2) + "°",
      });
    }
  });
  const size = plotSize();
  const opts = {
    width: size.width,
    height: size.height,
    series: series,
    scales: {x: {time: false}},
    axes: [{label: "time (s)"}, {label: "pitch (°)"}],
    cursor: {drag: {x: true, y: false, setScale: false}},
    legend: {live: true},
    hooks: {
      setSelect: [u => {
        if (u.select.width > 2) {
          const from = u.posToVal(u.select.left, "x");
          const to = u.posToVal(u.select.left + u.select.width, "x");
          u.setSelect({left: 0, top: 0, width: 0, height: 0}, false);
          zoomTo(from, to);
        }
      }],
      setCursor: [u => {
        const left = u.cursor.left;
        if (left === undefined || left < 0) return;
        readAt(u.posToVal(left, "x"));
      }],
      draw: [drawMarks],
    },
  };
  const data = [[]].concat(series.slice(1).map(() => []));
  state.plot = new uPlot(opts, data, $("chart"));
  state.plot.over.addEventListener("wheel", onWheel, {passive: false});
  showData();
}

function pointCount() {
  let n = 0;
  for (const f of chosenFiles()) {
    const answer = state.data.get(f.id);
    if (answer) n += answer.t.length;
  }
  return n;
}

// The marks of samples that are not finite, on the plot's edges as plot
// draws them: ▲ inf at the top, ▼ -inf and ◇ nan at the bottom; a sample at
// an infinite time on the left or right edge.
function drawMarks(u) {
  const ctx = u.ctx;
  const box = u.bbox;
  ctx.save();
  ctx.font = Math.round(11 * devicePixelRatio) + "px sans-serif";
  ctx.textAlign = "center";
  chosenFiles().forEach((f, k) => {
    const answer = state.data.get(f.id);
    if (!answer) return;
    ctx.fillStyle = COLOURS[k % COLOURS.length];
    for (const [t, p] of answer.marks) {
      let x, y, glyph;
      if (t === "-inf") x = box.left + 6;
      else if (t === "inf") x = box.left + box.width - 6;
      else x = u.valToPos(t, "x", true);
      if (p === "inf") { y = box.top + 10; glyph = "▲"; }
      else if (p === "-inf") { y = box.top + box.height - 2; glyph = "▼"; }
      else if (p === "nan") { y = box.top + box.height - 2; glyph = "◇"; }
      else { y = u.valToPos(p, "y", true); glyph = t === "inf" ? "▶" : "◀"; }
      if (x >= box.left - 1 && x <= box.left + box.width + 1) ctx.fillText(glyph, x, y);
    }
  });
  ctx.restore();
}

function showData() {
  const u = state.plot;
  if (!u) return;
  const lanes = [];
  for (const s of laneSeries) {
    const answer = state.data.get(s.id);
    const fileLanes = answer ? lanesOf(answer) : [];
    lanes.push(fileLanes[s.lane] || {t: [], p: []});
  }
  const data = lanes.length > 0 ? joinLanes(lanes) : [[]];
  u.setData(data, false);
  const range = shownRange();
  if (range) u.setScale("x", {min: range.from, max: range.to});
  else if (data[0].length > 0) u.setScale("x", {min: data[0][0], max: data[0][data[0].length - 1]});
  const files = chosenFiles();
  const samples = files.reduce((n, f) => n + (state.data.get(f.id) ? state.data.get(f.id).samples : 0), 0);
  const exact = files.every(f => state.data.get(f.id) && state.data.get(f.id).exact);
  $("status").textContent = files.length === 0 ? "Choose a data file above." :
    pointCount() + " points drawn of " + samples + " samples in view" + (exact ? " (every sample)" : "") +
    (state.follow ? "; following the newest " + state.followSeconds + " s" : state.view ? "; zoomed (Follow takes it up again)" : "");
  $("status").dataset.points = String(pointCount());
  $("status").dataset.samples = String(samples);
  updateLinks();
  $("follow").setAttribute("aria-pressed", String(state.follow));
}

// The range in view: followed, zoomed, or none (every line).
function shownRange() {
  if (state.follow) {
    const lasts = chosenFiles().map(f => f.last).filter(v => v !== null);
    if (lasts.length === 0) return null;
    const last = Math.max(...lasts);
    return {from: last - state.followSeconds, to: last};
  }
  return state.view;
}

// Asks for the ranges shown: one round at a time, and rounds at least
// LOAD_GAP ms apart (a file written line by line changes many times a
// second; what it shows changes only by a line or two between rounds).
const LOAD_GAP = 150;
let lastLoad = 0;
let loadTimer = null;
function load() {
  if (state.loading) {
    state.again = true;
    return;
  }
  const wait = lastLoad + LOAD_GAP - Date.now();
  if (wait > 0) {
    if (loadTimer === null) loadTimer = setTimeout(() => { loadTimer = null; load(); }, wait);
    return;
  }
  lastLoad = Date.now();
  const files = chosenFiles();
  if (files.length === 0) {
    showData();
    return;
  }
  state.loading = true;
  const range = shownRange();
  const columns = state.plot ? Math.max(1, Math.round(state.plot.bbox.width / devicePixelRatio)) : 800;
  const asks = files.map(f => fetchJson("/api/range?file=" + f.id + "&columns=" + columns +
      (range ? "&from=" + range.from + "&to=" + range.to : ""))
    .then(answer => state.data.set(f.id, answer)));
  Promise.allSettled(asks).then(results => {
    const failed = results.find(r => r.status === "rejected");
    const lanesBefore = laneSeries.length;
    const lanesNow = files.reduce((n, f) => n + (state.data.get(f.id) ? Math.max(1, lanesOf(state.data.get(f.id)).length) : 1), 0);
    if (Math.min(lanesNow, MOST_LANES) !== lanesBefore) rebuildPlot(); else showData();
    if (failed) $("status").textContent = "A range could not be read: " + failed.reason.message;
    if (state.cursorTime !== null) readAt(state.cursorTime, true);
  }).finally(() => {
    state.loading = false;
    if (state.again) {
      state.again = false;
      setTimeout(load, 0);
    }
  });
}

function visible() {
  const u = state.plot;
  if (!u || u.scales.x.min === null || u.scales.x.min === undefined) return null;
  return {from: u.scales.x.min, to: u.scales.x.max};
}

function updateLinks() {
  const ids = chosenFiles().map(f => f.id).join(",");
  const range = visible();
  const query = "files=" + ids + (range && !(!state.follow && !state.view) ? "&from=" + range.from + "&to=" + range.to : "");
  for (const [id, path] of [["csv", "/api/csv?"], ["svg", "/api/svg?"]]) {
    const link = $(id);
    if (ids === "") {
      link.removeAttribute("href");
      link.setAttribute("aria-disabled", "true");
    } else {
      link.href = path + query;
      link.removeAttribute("aria-disabled");
    }
  }
}

// ---- zoom, pan, follow -------------------------------------------------

function zoomTo(from, to) {
  if (!(to > from)) return;
  state.follow = false; // zooming or panning leaves follow
  state.view = {from: from, to: to};
  showData();
  load();
}

function zoomBy(factor, at) {
  const range = visible();
  if (!range) return;
  const centre = at === undefined ? (range.from + range.to) / 2 : at;
  zoomTo(centre - (centre - range.from) * factor, centre + (range.to - centre) * factor);
}

function panBy(share) {
  const range = visible();
  if (!range) return;
  const step = (range.to - range.from) * share;
  zoomTo(range.from + step, range.to + step);
}

function onWheel(event) {
  event.preventDefault();
  const u = state.plot;
  const at = u.posToVal(event.offsetX, "x");
  zoomBy(event.deltaY < 0 ? 0.8 : 1.25, at);
}

function setFollow(on) {
  state.follow = on;
  if (on) state.view = null;
  showData();
  load();
}

// ---- the cursor's readout ----------------------------------------------

let readTimer = null;
function readAt(time, now) {
  state.cursorTime = time;
  clearTimeout(readTimer);
  readTimer = setTimeout(() => {
    const files = chosenFiles().slice(0, MOST_READOUT_FILES);
    Promise.all(files.map(f => fetchJson("/api/line?file=" + f.id + "&t=" + time).then(line => [f, line])))
      .then(found => {
        const rows = found.map(([f, line]) => {
          const p = document.createElement("p");
          if (!line.found) {
            p.textContent = f.vessel + ": no line";
            return p;
          }
          const end = typeof line.start === "number" && typeof line.span === "number" ? line.start + line.span : null;
          const pitch = end !== null && Math.abs(end - time) < Math.abs(line.start - time) ? line.endPitch : line.startPitch;
          p.textContent = "t " + number(time, 2) + " s · pitch " + number(pitch, 2) + "° · " + f.vessel +
            " line " + line.number + ": " + line.text;
          p.dataset.line = String(line.number);
          p.dataset.text = line.text;
          return p;
        });
        $("readout").replaceChildren(...rows);
      }).catch(() => {});
  }, now ? 0 : 40);
}

// ---- wiring -------------------------------------------------------------

function listen() {
  const events = new EventSource("/api/events");
  events.addEventListener("files", event => {
    const version = JSON.parse(event.data).version;
    if (version !== state.version) {
      state.version = version;
      refreshFiles();
    }
  });
  events.onerror = () => { $("status").textContent = "Lost the server; trying again…"; };
}

function keys(event) {
  if (event.target.tagName === "INPUT") return;
  const actions = {"ArrowLeft": () => panBy(-0.25), "ArrowRight": () => panBy(0.25), "+": () => zoomBy(0.5),
                   "=": () => zoomBy(0.5), "-": () => zoomBy(2), "0": () => { state.follow = false; state.view = null; showData(); load(); },
                   "f": () => setFollow(true), "F": () => setFollow(true)};
  if (actions[event.key]) {
    event.preventDefault();
    actions[event.key]();
  }
}

$("follow").addEventListener("click", () => setFollow(true));
$("follow-seconds").addEventListener("change", () => {
  const seconds = Number($("follow-seconds").value);
  if (seconds > 0 && seconds <= 86400) {
    state.followSeconds = seconds;
    setFollow(true);
  }
});
$("pan-left").addEventListener("click", () => panBy(-0.25));
$("pan-right").addEventListener("click", () => panBy(0.25));
$("zoom-in").addEventListener("click", () => zoomBy(0.5));
$("zoom-out").addEventListener("click", () => zoomBy(2));
$("reset").addEventListener("click", () => { state.follow = false; state.view = null; showData(); load(); });
$("chart").addEventListener("keydown", keys);
window.addEventListener("resize", () => { if (state.plot) { state.plot.setSize(plotSize()); load(); } });

// For whoever drives the page from outside (the browser test): the cursor
// put at a time, as the mouse puts it.
window.kestrelWatch = {
  state: state,
  cursorAt: time => {
    const u = state.plot;
    u.setCursor({left: u.valToPos(time, "x"), top: u.bbox.height / devicePixelRatio / 2});
  },
  visible: visible,
};

refreshFiles().then(listen);
