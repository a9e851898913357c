#include "LivePage.h"

#include "LivePanels.h"
#include "LiveSettingsPage.h"

namespace live {
namespace {

// The panels and their buttons, for the page's script.
std::string panelsJson() {
  auto buttonsOf = [](const Panel& panel) {
    std::string out = "[";
    for (const Button& button : panel.buttons) {
      if (out.size() > 1) out += ",";
      out += std::string("{\"name\":\"") + button.name + "\",\"label\":\"" + button.label + "\"}";
    }
    return out + "]";
  };
  std::string out = "[";
  for (const Panel& panel : panels()) {
    if (out.size() > 1) out += ",";
    out += std::string("{\"host\":\"") + panel.host + "\",\"title\":\"" + panel.title +
           "\",\"buttons\":" + buttonsOf(panel) + "}";
  }
  out += "]";
  return "const PANELS = " + out + ";\nconst AUDIO = " + buttonsOf(audioPanel()) + ";\n";
}

constexpr const char* kHead = R"HTML(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Vellamor2 live</title>
<style>
  :root { color-scheme: dark; --panel: #171a24; --line: #2a2f3f; --text: #e8eaf2; --dim: #8d93a8;
          --accent: #f0a35e; }
  * { box-sizing: border-box; }
  [hidden] { display: none !important; }
  body { margin: 0; background: radial-gradient(circle at 20% 0%, #1f2435, #0b0c11 60%);
         color: var(--text); font: 14px/1.4 "DejaVu Sans", system-ui, sans-serif; min-height: 100vh; }
  header { display: flex; align-items: center; gap: 18px; padding: 14px 24px;
           border-bottom: 1px solid var(--line); background: rgba(10, 11, 16, 0.6); }
  header h1 { font-size: 19px; margin: 0; font-weight: 600; letter-spacing: 0.3px; }
  header h1 span { color: var(--accent); }
  #status { color: var(--dim); flex: 1; }
  main { display: grid; grid-template-columns: repeat(4, minmax(220px, 1fr)); gap: 18px;
         padding: 20px 24px; }
  .panel { background: var(--panel); border: 1px solid var(--line); border-radius: 16px;
           padding: 14px; display: flex; flex-direction: column; gap: 10px; }
  .panel h2 { margin: 0; font-size: 15px; font-weight: 600; display: flex; justify-content: space-between; }
  .panel h2 small { color: var(--dim); font-weight: 400; }
  .phone { position: relative; aspect-ratio: 375 / 667; border-radius: 22px; overflow: hidden;
           background: #05060a; border: 3px solid #2c3142; box-shadow: 0 10px 30px rgba(0,0,0,0.45); }
  .phone img { width: 100%; height: 100%; display: block; object-fit: cover; }
  .phone .waiting { position: absolute; inset: 0; display: flex; align-items: center;
                    justify-content: center; text-align: center; padding: 24px; color: var(--dim); }
  .plot { color: var(--accent); font-weight: 600; }
  dl { display: grid; grid-template-columns: auto 1fr; gap: 2px 10px; margin: 0; font-size: 12.5px; }
  dt { color: var(--dim); }
  dd { margin: 0; text-align: right; font-variant-numeric: tabular-nums; }
  .buttons { display: flex; flex-wrap: wrap; gap: 6px; }
  button { background: #262b3b; color: var(--text); border: 1px solid #363c52; border-radius: 8px;
           padding: 6px 10px; font: inherit; font-size: 12.5px; cursor: pointer; }
  button:hover { background: #30364a; }
  button:active { background: var(--accent); color: #111; }
  .reply { font-size: 12px; color: var(--dim); min-height: 1.4em; }
  .reply.error { color: #ff8a80; }
</style>
</head>
<body>
<header>
  <h1>Vellamor<span>2</span> live</h1>
  <div id="status">connecting…</div>
  <div class="buttons" id="audio"></div>
</header>
<main id="panels"></main>
<script>
)HTML";

constexpr const char* kScript = R"JS(
const state = {};
const text = (element, value) => { if (element.textContent !== value) element.textContent = value; };

function pressButton(panel, button, replyElement) {
  fetch(`/api/press/${panel}/${button}`, { method: "POST" })
    .then((response) => response.json())
    .then((answer) => {
      replyElement.className = answer.ok ? "reply" : "reply error";
      text(replyElement, answer.reply);
    })
    .catch((error) => { replyElement.className = "reply error"; text(replyElement, String(error)); });
}

function buttonRow(panel, buttons, replyElement) {
  const row = document.createElement("div");
  row.className = "buttons";
  for (const button of buttons) {
    const element = document.createElement("button");
    element.textContent = button.label;
    element.dataset.button = button.name;
    element.onclick = () => pressButton(panel, button.name, replyElement);
    row.append(element);
  }
  return row;
}

function figureRow(list, name) {
  const dt = document.createElement("dt");
  dt.textContent = name;
  const dd = document.createElement("dd");
  dd.textContent = "–";
  list.append(dt, dd);
  return dd;
}

for (const panel of PANELS) {
  const section = document.createElement("section");
  section.className = "panel";
  section.id = `panel-${panel.host}`;
  section.innerHTML = `<h2>${panel.title}<small>${panel.host}</small></h2>
    <div class="phone"><div class="waiting">waiting for ${panel.title}…</div><img alt="${panel.title}" hidden></div>
    <div>plot <span class="plot">–</span></div>`;
  const figures = document.createElement("dl");
  const reply = document.createElement("div");
  reply.className = "reply";
  section.append(figures, buttonRow(panel.host, panel.buttons, reply), reply);
  document.getElementById("panels").append(section);
  state[panel.host] = {
    image: section.querySelector("img"), waiting: section.querySelector(".waiting"),
    plot: section.querySelector(".plot"),
    fps: figureRow(figures, "frames / s"), latency: figureRow(figures, "commit → page"),
    ticks: figureRow(figures, "ticks drawn / dropped"), drawing: figureRow(figures, "plot drawing p50 / p99"),
    commit: figureRow(figures, "commit p50 / longest"),
    received: 0, changed: 0, lastSequence: 0, window: [], latencies: [],
  };
}
const audioReply = document.createElement("span");
audioReply.className = "reply";
document.getElementById("audio").append(buttonRow("audio", AUDIO, audioReply), audioReply);

// For the browser test and the curious: what each panel has received.
window.liveStatus = () => Object.fromEntries(Object.entries(state).map(([host, s]) =>
  [host, { received: s.received, changed: s.changed, fps: s.fpsValue || 0,
           latencies: s.latencies.slice(-200) }]));

function onFrame(frame) {
  const s = state[frame.host];
  if (!s) return;
  const now = performance.now();
  s.received += 1;
  if (frame.jpeg !== s.lastJpeg) s.changed += 1;
  s.lastJpeg = frame.jpeg;
  s.image.src = `data:image/jpeg;base64,${frame.jpeg}`;
  s.image.hidden = false;
  s.waiting.hidden = true;
  s.window.push(now);
  while (s.window.length && now - s.window[0] > 2000) s.window.shift();
  s.fpsValue = s.window.length > 1 ? (s.window.length - 1) * 1000 / (now - s.window[0]) : 0;
  const latency = frame.commitAgeMs + Math.max(0, Date.now() - frame.sentUnixMs);
  s.latencies.push(latency);
  if (s.latencies.length > 400) s.latencies.shift();
  text(s.fps, s.fpsValue.toFixed(1));
  text(s.latency, `${latency.toFixed(1)} ms`);
}

function onFigures(figures) {
  const s = state[figures.host];
  if (!s) return;
  if (figures.plot !== undefined) text(s.plot, figures.plot || "none");
  if (figures.drawn !== undefined) text(s.ticks, `${figures.drawn} / ${figures.dropped}`);
  if (figures.drawP50 !== undefined) text(s.drawing, `${figures.drawP50} / ${figures.drawP99} ms`);
  if (figures.commitMaxUs !== undefined)
    text(s.commit, `${(figures.commitP50Us / 1000).toFixed(2)} / ${(figures.commitMaxUs / 1000).toFixed(2)} ms`);
}

function onStatus(status) {
  text(document.getElementById("status"),
       `iOS ${status.system} · playing ${status.source} · render → lock screen ${status.renderToScreen}`);
}

const events = new EventSource("/events");
events.addEventListener("frame", (event) => onFrame(JSON.parse(event.data)));
events.addEventListener("figures", (event) => onFigures(JSON.parse(event.data)));
events.addEventListener("status", (event) => onStatus(JSON.parse(event.data)));
events.onerror = () => text(document.getElementById("status"), "the device's server has gone");
)JS";

constexpr const char* kTail = R"HTML(</script>
</body>
</html>
)HTML";

}  // namespace

const std::string& livePage() {
  static const std::string page =
      std::string(kHead) + panelsJson() + kScript + settingsPanelScript() + kTail;
  return page;
}

}  // namespace live
