#include "lab/serve/live_page.h"

namespace ralvex::lab {

namespace {

constexpr const char PAGE[] = R"page(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>ralvex-lab: live</title>
<style>
body { font-family: sans-serif; margin: 1em; background: #fafafa; color: #222; }
h1 { font-size: 1.3em; }
section { background: #fff; border: 1px solid #ccc; border-radius: 6px; padding: 0.8em;
          margin-bottom: 1em; }
section.down { opacity: 0.5; }
h2 { font-size: 1.1em; margin: 0 0 0.4em 0; }
span.value { font-weight: bold; font-variant-numeric: tabular-nums; }
.readings div { display: inline-block; margin-right: 1.5em; }
canvas { width: 100%; height: 220px; display: block; margin-top: 0.5em; }
.legend span { margin-right: 1.2em; }
#note { color: #a00; }
</style>
</head>
<body>
<h1>ralvex-lab: every tester on this machine</h1>
<p id="note"></p>
<div id="testers"></div>
<script>
"use strict";
const HISTORY_MS = @HISTORY_S@ * 1000;
const POLL_MS = @POLL_MS@;
const SERIES = [
  { key: "voltage_mv", name: "voltage (V)", scale: 1000, color: "#1f77b4" },
  { key: "current_ma", name: "current (A)", scale: 1000, color: "#d62728" },
  { key: "power_mw", name: "power (W)", scale: 1000, color: "#2ca02c", dash: [6, 4] },
];
const testers = new Map();  // serial: { element, rows, last }

function field(el, name, text) {
  const f = el.querySelector('[data-field="' + name + '"]');
  if (f.textContent !== text) f.textContent = text;
}

// Built node by node: the page's own text never holds the fields' markup, only the DOM does.
function add(parent, tag, className) {
  const el = document.createElement(tag);
  if (className) el.className = className;
  parent.appendChild(el);
  return el;
}

function valueField(parent, name) {
  const v = add(parent, "span", "value");
  v.dataset.field = name;
  return v;
}

function testerElement(serial) {
  const el = document.createElement("section");
  el.dataset.serial = serial;
  add(el, "h2").textContent = serial;
  const contract = add(el, "div");
  contract.append("Contract: ");
  valueField(contract, "contract");
  const readings = add(el, "div", "readings");
  for (const [label, name, unit] of [["Voltage", "voltage_mv", "mV"], ["Current", "current_ma", "mA"],
                                     ["Set", "set_current_ma", "mA"], ["Power", "power_mw", "mW"]]) {
    const d = add(readings, "div");
    d.append(label + " ");
    valueField(d, name);
    d.append(" " + unit);
  }
  const legend = add(el, "div", "legend");
  for (const s of SERIES) {
    const item = add(legend, "span");
    item.style.color = s.color;
    item.textContent = "\u25a0 " + s.name;
  }
  add(el, "canvas");
  document.getElementById("testers").appendChild(el);
  return el;
}

function contractText(status) {
  const c = status.contract;
  if (!c.connected) return "none";
  return "profile " + c.profile + ", " + c.type + ", " + c.voltage_mv + " mV, up to " +
         c.max_current_ma + " mA";
}

function showStatus(status) {
  const serial = status.tester.serial;
  let t = testers.get(serial);
  if (!t) {
    t = { element: testerElement(serial), rows: [], last: null };
    testers.set(serial, t);
  }
  const m = status.measurements;
  t.element.classList.toggle("down", !status.up);
  field(t.element, "contract", status.up ? contractText(status) : "tester down");
  field(t.element, "voltage_mv", String(m.voltage_mv));
  field(t.element, "current_ma", String(m.current_ma));
  field(t.element, "set_current_ma", String(m.set_current_ma));
  field(t.element, "power_mw", String(Math.round(m.power_mw)));
  return t;
}

async function fetchRows(serial, t) {
  let url = "/api/samples?serial=" + encodeURIComponent(serial);
  if (t.last) url += "&since=" + encodeURIComponent(t.last);
  const reply = await fetch(url, { cache: "no-store" });
  if (!reply.ok) return;
  const rows = await reply.json();
  if (rows.length === 0) return;
  for (const row of rows) t.rows.push(row);
  t.last = rows[rows.length - 1].time;
  const newest = Date.parse(t.last);
  while (t.rows.length && Date.parse(t.rows[0].time) < newest - HISTORY_MS) t.rows.shift();
  draw(t);
}

function draw(t) {
  const canvas = t.element.querySelector("canvas");
  const width = canvas.clientWidth, height = canvas.clientHeight;
  if (canvas.width !== width) canvas.width = width;
  if (canvas.height !== height) canvas.height = height;
  const g = canvas.getContext("2d");
  g.clearRect(0, 0, width, height);
  const left = 50, right = width - 10, top = 10, bottom = height - 25;
  g.strokeStyle = "#999";
  g.strokeRect(left, top, right - left, bottom - top);
  if (t.rows.length < 2) return;
  const t0 = Date.parse(t.rows[0].time), t1 = Date.parse(t.rows[t.rows.length - 1].time);
  const span = Math.max(t1 - t0, 1);
  g.fillStyle = "#444";
  g.font = "11px sans-serif";
  g.fillText(new Date(t0).toLocaleTimeString(), left, height - 8);
  const endLabel = new Date(t1).toLocaleTimeString();
  g.fillText(endLabel, right - g.measureText(endLabel).width, height - 8);
  SERIES.forEach((s, i) => {
    let max = 0;
    for (const r of t.rows) max = Math.max(max, r[s.key] / s.scale);
    max = max > 0 ? max * 1.1 : 1;
    g.fillStyle = s.color;
    g.fillText(max.toFixed(2), 4, top + 12 + 13 * i);
    g.strokeStyle = s.color;
    // Under a steady voltage power follows current on its own scale: a dashed line keeps both seen.
    g.setLineDash(s.dash || []);
    g.beginPath();
    t.rows.forEach((r, n) => {
      const x = left + (Date.parse(r.time) - t0) / span * (right - left);
      const y = bottom - (r[s.key] / s.scale) / max * (bottom - top);
      if (n === 0) g.moveTo(x, y); else g.lineTo(x, y);
    });
    g.stroke();
  });
}

async function poll() {
  try {
    const reply = await fetch("/api/status", { cache: "no-store" });
    const all = await reply.json();
    document.getElementById("note").textContent = all.length ? "" : "No tester found yet.";
    await Promise.all(all.map(status => fetchRows(status.tester.serial, showStatus(status))));
  } catch (e) {
    document.getElementById("note").textContent = "The server does not answer.";
  }
  setTimeout(poll, POLL_MS);
}
poll();
</script>
</body>
</html>
)page";

std::string Replaced(std::string text, const std::string& mark, const std::string& value) {
  for (std::size_t at = text.find(mark); at != std::string::npos;
       at = text.find(mark, at + value.size())) {
    text.replace(at, mark.size(), value);
  }
  return text;
}

}  // namespace

std::string LivePage(uint32_t historyS) {
  return Replaced(Replaced(PAGE, "@HISTORY_S@", std::to_string(historyS)), "@POLL_MS@",
                  std::to_string(PAGE_POLL_MS));
}

}  // namespace ralvex::lab
