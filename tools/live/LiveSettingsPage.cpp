#include "LiveSettingsPage.h"

namespace live {
namespace {

constexpr const char* kScript = R"JS(
{
  const panel = document.getElementById("panel-Preferences");
  const style = document.createElement("style");
  style.textContent = `
    .settings { display: flex; flex-direction: column; gap: 6px; }
    .settings-nav { display: flex; align-items: center; gap: 8px; min-height: 28px; }
    .settings-rows { max-height: 330px; overflow-y: auto; border: 1px solid var(--line);
                     border-radius: 10px; padding: 2px 10px 6px; }
    .settings-group { color: var(--dim); font-size: 11px; text-transform: uppercase;
                      letter-spacing: 0.5px; margin: 10px 0 2px; }
    .settings-footer { color: var(--dim); font-size: 11px; margin: 3px 0 4px; }
    .settings-row { display: flex; align-items: center; justify-content: space-between; gap: 8px;
                    width: 100%; padding: 5px 0; border-bottom: 1px solid var(--line); font-size: 12.5px; }
    button.settings-row { background: none; border: none; border-bottom: 1px solid var(--line);
                          border-radius: 0; color: var(--text); text-align: left; padding: 7px 0; }
    button.settings-row.action { color: var(--accent); }
    .settings-row input[type=range] { width: 42%; }
    .settings-row output { width: 3.5em; text-align: right; color: var(--dim); }
    .settings-row select, .settings-row input[type=number] {
      background: #262b3b; color: var(--text); border: 1px solid #363c52; border-radius: 6px;
      font: inherit; font-size: 12px; max-width: 55%; }
    .settings-row input[type=number] { width: 80px; }`;
  document.head.append(style);
  // No plot is drawn here: only the frames' figures tell.
  panel.querySelector(".plot").parentElement.hidden = true;
  for (const term of panel.querySelectorAll("dt"))
    if (/^(ticks|plot)/.test(term.textContent)) term.hidden = term.nextElementSibling.hidden = true;

  const box = document.createElement("div");
  box.className = "settings";
  box.id = "settings";
  box.innerHTML = `<div class="settings-nav"><button class="settings-back" hidden>‹ Back</button>
    <strong class="settings-pane">…</strong></div><div class="settings-rows"></div>
    <div class="reply settings-reply"></div>`;
  panel.querySelector(".phone").after(box);
  const back = box.querySelector(".settings-back");
  const paneName = box.querySelector(".settings-pane");
  const list = box.querySelector(".settings-rows");
  const reply = box.querySelector(".settings-reply");
  // Every answer of the Settings app, for the browser test and the curious.
  window.settingsAnswers = [];

  const element = (tag, className, content) => {
    const made = document.createElement(tag);
    if (className) made.className = className;
    if (content !== undefined) made.textContent = content;
    return made;
  };
  const numberText = (value, whole) =>
    whole ? String(Math.round(Number(value))) : Number(value).toFixed(4).replace(/\.?0+$/, "");

  // `quiet`: the rows read again after a change leave the change's answer shown.
  function ask(path, quiet) {
    return fetch(`/api/settings/${path}`, { method: "POST" })
      .then((response) => response.json())
      .then((answer) => {
        window.settingsAnswers.push(answer.reply);
        if (!quiet || !answer.ok) {
          reply.className = answer.ok ? "reply settings-reply" : "reply settings-reply error";
          text(reply, answer.reply);
        }
        if (answer.rows) show(answer);
        return answer;
      })
      .catch((error) => { reply.className = "reply settings-reply error"; text(reply, String(error)); });
  }
  const change = (key, value) => ask(`set/${key}/${value}`).then(() => ask("rows", true));

  function control(row) {
    if (row.kind === "switch") {
      const input = element("input");
      input.type = "checkbox";
      input.checked = row.value === "on";
      input.onchange = () => change(row.key, input.checked ? "on" : "off");
      return [input];
    }
    if (row.kind === "list") {
      const select = element("select");
      for (const choice of row.range.split(",")) {
        const at = choice.indexOf("=");
        const option = element("option", "", choice.slice(at + 1));
        option.value = choice.slice(0, at);
        select.append(option);
      }
      select.value = String(parseFloat(row.value));
      select.onchange = () => change(row.key, select.value);
      return [select];
    }
    const input = element("input");
    const [min, max] = row.range ? row.range.split("..").map(Number) : [NaN, NaN];
    input.type = row.kind === "slider" ? "range" : "number";
    if (row.range) { input.min = min; input.max = max; }
    input.step = row.whole ? "1" : row.kind === "slider" ? String((max - min) / 100) : "any";
    input.value = parseFloat(row.value);
    input.onchange = () => change(row.key, numberText(input.value, row.whole));
    if (row.kind !== "slider") return [input];
    const shown = element("output", "", row.value);
    input.oninput = () => text(shown, numberText(input.value, row.whole));
    return [input, shown];
  }

  function rowElement(row) {
    if (row.kind === "link" || row.kind === "button") {
      const button = element("button", `settings-row ${row.kind === "link" ? "link" : "action"}`,
                             row.kind === "link" ? `${row.label} ›` : row.label);
      if (row.kind === "link") {
        button.dataset.link = row.id;
        button.onclick = () => ask(`follow/${row.id}`);
      } else {
        button.dataset.press = row.id;
        button.onclick = () => ask(`press/${row.id}`);
      }
      return button;
    }
    const line = element("label", "settings-row");
    const controls = control(row);
    controls[0].dataset.key = row.key;
    line.append(element("span", "", row.label), ...controls);
    return line;
  }

  function show(answer) {
    text(paneName, answer.pane);
    back.hidden = answer.pane === "Root";
    list.replaceChildren();
    let footer = "";
    const endGroup = () => { if (footer) list.append(element("div", "settings-footer", footer)); };
    for (const row of answer.rows) {
      if (row.kind !== "group") { list.append(rowElement(row)); continue; }
      endGroup();
      footer = row.range;
      if (row.label) list.append(element("div", "settings-group", row.label));
    }
    endGroup();
    if (answer.more > 0) list.append(element("div", "settings-footer", `${answer.more} more rows not shown`));
  }

  back.onclick = () => ask("back");
  ask("rows", true);
}
)JS";

}  // namespace

const char* settingsPanelScript() {
  return kScript;
}

}  // namespace live
