// The dashboard page: the verdict, the values, the states and the relay from /api/current, the
// history plots from /api/history, and both kept current by the events of /api/events.
"use strict";
(function () {
  const T = JSON.parse(document.getElementById("texts").textContent);
  const $ = (id) => document.getElementById(id);
  const RANGES = [["range_6h", 6 * 3600], ["range_24h", 86400], ["range_3d", 3 * 86400],
    ["range_7d", 7 * 86400], ["range_30d", 30 * 86400], ["range_1y", 365 * 86400], ["range_all", 0]];
  // Each plot: its title key and its quantities, each drawn as a band from minimum to maximum.
  const PLOTS = [
    { key: "plot_sky", quantities: ["sky", "sky_minus_ambient"], strip: "good" },
    { key: "plot_ambient", quantities: ["ambient", "dew_point"] },
    { key: "plot_humidity", quantities: ["humidity"] },
    { key: "plot_wind", quantities: ["wind_gust"] },
    { key: "plot_light", quantities: ["magnitude"] },
  ];
  const PALETTES = {
    day: { lines: ["#c62828", "#1565c0"], strip: ["#2e7d32", "#b71c1c"] },
    dark: { lines: ["#ef5350", "#42a5f5"], strip: ["#43a047", "#8e2424"] },
    night: { lines: ["#c00000", "#700000"], strip: ["#900000", "#300000"] },
  };

  let current = null;      // the latest /api/current
  let receivedAt = 0;      // when it came, by this browser's clock
  let rangeSeconds = 86400;
  let zoom = null;         // [from, to] in seconds while zoomed by dragging
  // The narrowest zoom: readings come every few seconds, and the history is asked in whole
  // milliseconds, so a range of less than one would be refused.
  const MIN_ZOOM_SECONDS = 60;
  const plots = [];        // { quantities, strip, chart, el }
  let lastHistoryLoad = 0;
  let offline = false;     // the event stream is broken: the program is not answering

  function theme() { return document.documentElement.dataset.theme || "day"; }
  function css(name) { return getComputedStyle(document.documentElement).getPropertyValue(name).trim(); }
  function fill(template, value) { return template.replace("%1", value); }

  // A state colour as the theme shows it: at night only its brightness, as a dim red.
  function shownColour(hex) {
    if (!hex) return "transparent";
    if (theme() !== "night") return hex;
    const n = parseInt(hex.slice(1), 16);
    const level = Math.max(n >> 16, (n >> 8) & 255, n & 255);
    return "rgb(" + Math.round(level * level * 200 / (255 * 255)) + ",0,0)";
  }

  function duration(seconds) {
    const s = Math.max(0, Math.round(seconds));
    if (s < 60) return s + " s";
    if (s < 3600) return Math.floor(s / 60) + " min " + String(s % 60).padStart(2, "0") + " s";
    return Math.floor(s / 3600) + " h " + String(Math.floor(s / 60) % 60).padStart(2, "0") + " min";
  }

  function localTime(iso) {
    const d = new Date(iso);
    return d.toLocaleString(document.documentElement.lang || "fr", { dateStyle: "short", timeStyle: "medium" });
  }

  // ---- Banner, values, states, relay ----

  function showVerdict(v) {
    const banner = $("banner");
    banner.className = "banner " + (v.safe ? "safe" : "unsafe");
    $("verdict").textContent = v.safe ? T.safe : T.unsafe;
    $("reasons").textContent = v.safe ? T.all_good : v.reasons.map((r) => r.text).join(", ");
    $("since").textContent = v.since ? fill(T.since, localTime(v.since)) : "";
  }

  function showAge() {
    const age = $("age");
    // Said until the program answers again; the age ticking on would hide it.
    if (offline) { age.textContent = T.offline; age.classList.add("warning"); return; }
    if (!current) { age.textContent = T.no_reading; age.classList.add("warning"); return; }
    if (current.link_lost) { age.textContent = T.link_lost; age.classList.add("warning"); return; }
    const seconds = current.age + (Date.now() - receivedAt) / 1000;
    const text = fill(T.age, duration(seconds));
    const old = seconds > 120;
    age.textContent = old ? fill(T.too_old, text) : text;
    age.classList.toggle("warning", old);
  }

  function showValues(values) {
    const dl = $("values");
    dl.replaceChildren();
    for (const [key, v] of Object.entries(values)) {
      const dt = document.createElement("dt");
      dt.textContent = v.label;
      const dd = document.createElement("dd");
      dd.id = "value-" + key;
      if (typeof v.value === "boolean") dd.textContent = v.value ? T.yes : T.no;
      else dd.textContent = v.value === null ? "—" : v.text + (v.unit ? " " + v.unit : "");
      dl.append(dt, dd);
    }
  }

  function stateBox(state, id) {
    const div = document.createElement("div");
    div.className = "state";
    div.id = id;
    div.textContent = state.text.trim();
    div.title = state.hint || "";
    div.dataset.colour = state.colour || "";
    div.style.background = shownColour(state.colour);
    if (!state.colour) div.style.color = "var(--muted)";
    return div;
  }

  function showStates(states, relay) {
    const box = $("states");
    box.replaceChildren();
    for (const [key, s] of Object.entries(states)) {
      const label = document.createElement("span");
      label.textContent = s.label;
      box.append(label, stateBox(s, "state-" + key));
    }
    const r = $("relay");
    r.replaceChildren(stateBox(relay, "state-relay"));
    for (const c of relay.criteria) {
      const label = document.createElement("span");
      label.textContent = c.label;
      const value = document.createElement("b");
      value.textContent = c.text;
      r.append(label, value);
    }
  }

  function showCurrent(data) {
    current = data;
    receivedAt = Date.now();
    showVerdict(data.verdict);
    showValues(data.values);
    showStates(data.states, data.relay);
    showAge();
  }

  async function loadCurrent() {
    const answer = await fetch("/api/current", { cache: "no-store" });
    const data = await answer.json();
    if (answer.status === 503) {
      // No reading yet: unsafe, as every other view of the verdict says.
      $("verdict").textContent = T.unsafe;
      $("reasons").textContent = T.waiting;
      return;
    }
    showCurrent(data);
  }

  // ---- History ----

  function visibleRange() {
    if (zoom) return zoom;
    const to = Date.now() / 1000;
    return rangeSeconds ? [to - rangeSeconds, to] : [null, to];
  }

  function iso(seconds) { return new Date(seconds * 1000).toISOString(); }

  async function fetchQuantity(quantity, from, to, columns) {
    const q = new URLSearchParams({ quantity: quantity, columns: String(columns), to: iso(to) });
    if (from !== null) q.set("from", iso(from));
    const answer = await fetch("/api/history?" + q.toString(), { cache: "no-store" });
    if (!answer.ok) {
      const refusal = await answer.json().catch(() => null);
      throw new Error(refusal && refusal.reason ? refusal.reason : answer.status + " " + answer.statusText);
    }
    return answer.json();
  }

  function plotWidth() { return Math.max(280, Math.floor($("plots").clientWidth)); }

  function stripHook(plot) {
    return (u) => {
      if (!plot.strip) return;
      const [good, bad] = PALETTES[theme()].strip;
      const ctx = u.ctx, top = u.bbox.top + u.bbox.height - 8 * devicePixelRatio;
      const xs = u.data[0], strip = plot.stripData || [];
      for (let i = 0; i < xs.length; i++) {
        if (strip[i] === null || strip[i] === undefined) continue;
        const x0 = u.valToPos(xs[i], "x", true);
        const x1 = i + 1 < xs.length ? u.valToPos(xs[i + 1], "x", true) : u.bbox.left + u.bbox.width;
        ctx.fillStyle = strip[i] ? good : bad;
        ctx.fillRect(x0, top, Math.max(1, x1 - x0), 8 * devicePixelRatio);
      }
    };
  }

  function quantityLabel(q) { return current && current.values[q] ? current.values[q].label : q; }

  function makeChart(plot, data, units) {
    const pal = PALETTES[theme()];
    const series = [{}];
    const bands = [];
    plot.quantities.forEach((q, i) => {
      const colour = pal.lines[i % pal.lines.length];
      series.push({ label: quantityLabel(q) + " " + T.min, stroke: colour, width: 1, spanGaps: false, value: (u, v) => v === null ? "—" : v.toFixed(1) + " " + units[i] });
      series.push({ label: quantityLabel(q) + " " + T.max, stroke: colour, width: 1, spanGaps: false, value: (u, v) => v === null ? "—" : v.toFixed(1) + " " + units[i] });
      bands.push({ series: [series.length - 1, series.length - 2], fill: colour + "55" });
    });
    const axis = { stroke: css("--plot-axis"), grid: { stroke: css("--plot-grid"), width: 1 }, ticks: { stroke: css("--plot-grid") } };
    return new uPlot({
      width: plotWidth(), height: window.innerWidth < 480 ? 180 : 220,
      series: series, bands: bands,
      axes: [Object.assign({}, axis), Object.assign({ size: 48 }, axis)],
      cursor: { drag: { x: true, y: false, setScale: true } },
      legend: { show: window.innerWidth >= 480 },
      hooks: {
        draw: [stripHook(plot)],
        setSelect: [(u) => {
          if (u.select.width < 3) return;
          let from = u.posToVal(u.select.left, "x"), to = u.posToVal(u.select.left + u.select.width, "x");
          if (to - from < MIN_ZOOM_SECONDS) {
            const middle = (from + to) / 2;
            from = middle - MIN_ZOOM_SECONDS / 2;
            to = middle + MIN_ZOOM_SECONDS / 2;
          }
          zoom = [from, to];
          u.setSelect({ left: 0, width: 0 }, false);
          loadHistory();
        }],
      },
      scales: { x: { time: true } },
    }, data, plot.el.querySelector(".chart"));
  }

  async function loadPlot(plot, from, to, columns) {
    const answers = await Promise.all(plot.quantities.map((q) => fetchQuantity(q, from, to, columns)));
    const data = [answers[0].t];
    answers.forEach((a) => { data.push(a.min, a.max); });
    if (plot.strip) plot.stripData = (await fetchQuantity(plot.strip, from, to, columns)).max;
    plot.el.dataset.count = String(answers[0].count);
    plot.el.dataset.from = answers[0].from;
    plot.el.dataset.to = answers[0].to;
    if (!plot.chart) plot.chart = makeChart(plot, data, answers.map((a) => a.unit));
    else plot.chart.setData(data, true);
    plot.chart.setScale("x", { min: data[0][0], max: Date.parse(answers[0].to) / 1000 });
  }

  let loading = null;
  async function loadHistory() {
    const [from, to] = visibleRange();
    const columns = Math.min(4000, plotWidth());
    lastHistoryLoad = Date.now();
    loading = Promise.all(plots.map((p) => loadPlot(p, from, to, columns)));
    // A refused or failed request leaves the last good plots in place and says why; the next
    // reading or range asks again.
    try {
      await loading;
      $("historyError").textContent = "";
    } catch (e) {
      $("historyError").textContent = fill(T.history_error, e.message || String(e));
      return;
    }
    if (!document.body.dataset.plotted) document.body.dataset.firstPlotMs = String(Math.round(performance.now()));
    document.body.dataset.plotted = String(Number(document.body.dataset.plotted || 0) + 1);
  }

  function buildPlots() {
    for (const def of PLOTS) {
      const el = document.createElement("div");
      el.className = "plot";
      el.id = def.key;
      const title = document.createElement("h3");
      title.textContent = T[def.key];
      const chart = document.createElement("div");
      chart.className = "chart";
      chart.addEventListener("dblclick", () => { zoom = null; loadHistory(); });
      el.append(title, chart);
      $("plots").append(el);
      plots.push(Object.assign({ el: el, chart: null }, def));
    }
  }

  function buildRanges() {
    for (const [key, seconds] of RANGES) {
      const b = document.createElement("button");
      b.type = "button";
      b.textContent = T[key];
      b.dataset.range = String(seconds);
      b.id = key;
      b.classList.toggle("on", seconds === rangeSeconds);
      b.addEventListener("click", () => {
        rangeSeconds = seconds;
        zoom = null;
        for (const other of $("ranges").children) other.classList.toggle("on", other === b);
        loadHistory();
      });
      $("ranges").append(b);
    }
  }

  // ---- Themes ----

  function setTheme(name) {
    document.documentElement.dataset.theme = name;
    try { localStorage.setItem("orvanel-theme", name); } catch (e) { /* private mode: not remembered */ }
    for (const b of $("themes").querySelectorAll("button")) b.classList.toggle("on", b.dataset.theme === name);
    // Charts take the theme's colours when they are made.
    for (const p of plots) { if (p.chart) { p.chart.destroy(); p.chart = null; } }
    if (current) showStates(current.states, current.relay);
    loadHistory();
  }

  function buildThemes() {
    $("themeLabel").textContent = T.theme;
    for (const b of $("themes").querySelectorAll("button")) {
      b.textContent = T[b.dataset.theme];
      b.classList.toggle("on", b.dataset.theme === theme());
      b.addEventListener("click", () => setTheme(b.dataset.theme));
    }
  }

  // ---- Events ----

  function follow() {
    const events = new EventSource("/api/events");
    events.addEventListener("reading", (e) => {
      showCurrent(JSON.parse(e.data));
      // Plots that show the present follow it; a zoomed plot stays where the observer put it. Ranges
      // beyond a day follow at most every five minutes: one reading moves them by less than a pixel,
      // and the whole history costs the monitor more to send.
      const longRange = !rangeSeconds || rangeSeconds > 86400;
      if (!zoom && (!longRange || Date.now() - lastHistoryLoad > 300000)) loadHistory();
    });
    events.addEventListener("verdict", (e) => {
      const v = JSON.parse(e.data);
      // The link comes and goes between readings: its reason says where it stands.
      if (current) {
        current.verdict = v;
        current.link_lost = v.reasons.some((r) => r.code === "link_lost");
      }
      showVerdict(v);
      showAge();
    });
    events.onerror = () => { offline = true; showAge(); };
    events.onopen = () => { offline = false; showAge(); };
  }

  function resize() {
    for (const p of plots) if (p.chart) p.chart.setSize({ width: plotWidth(), height: p.chart.height });
  }

  document.title = T.title;
  $("valuesTitle").textContent = T.values;
  $("statesTitle").textContent = T.states;
  $("relayTitle").textContent = T.relay;
  $("historyTitle").textContent = T.history;
  $("zoomHint").textContent = T.zoom_hint;
  buildThemes();
  buildRanges();
  buildPlots();
  window.addEventListener("resize", resize);
  setInterval(showAge, 1000);
  loadCurrent().catch(() => { $("reasons").textContent = T.offline; });
  loadHistory();
  follow();
})();
