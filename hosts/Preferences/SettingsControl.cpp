#include "SettingsControl.h"

#include <Foundation/Foundation.h>
#include <HostScreen/ScreenRequests.h>

#include <vector>

#include "RowValues.h"
#include "SettingsApp.h"
#include "SettingsScreen.h"

namespace settings_app {
namespace {

using control::errorReply;

const char* kindOf(PSCellType type) {
  switch (type) {
    case PSGroupCell:
      return "group";
    case PSSwitchCell:
      return "switch";
    case PSSliderCell:
      return "slider";
    case PSLinkListCell:
      return "list";
    case PSEditTextCell:
      return "text";
    case PSLinkCell:
      return "link";
    case PSButtonCell:
      return "button";
  }
  return "group";
}

// Text from a file or the store, fit for one field of one line.
std::string field(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return text.size() > 200 ? text.substr(0, 200) : text;
}

std::string valueText(const PSSpecifier& row, const NSObject* value) {
  const auto* number = objc::cast<NSNumber>(value);
  if (number == nullptr) return value != nullptr ? field(value->description()) : std::string();
  if (row.cellType() == PSSwitchCell) return number->boolValue() ? "on" : "off";
  std::string text = numberText(number->doubleValue());
  const std::string title = choiceTitle(row, number->doubleValue());
  return title.empty() ? text : text + " (" + field(title) + ")";
}

std::string rangeText(const PSSpecifier& row) {
  if (row.cellType() == PSLinkCell) return row.identifier();
  if (row.cellType() == PSGroupCell) {
    const auto* footer = objc::cast<NSString>(row.propertyForKey("footerText"));
    return footer != nullptr ? field(footer->string()) : "";
  }
  if (row.cellType() == PSLinkListCell) {
    std::string choices;
    for (std::size_t i = 0; i < row.values()->count(); ++i) {
      if (i > 0) choices += ',';
      choices += numberText(doubleValueOf(row.values()->objectAtIndex(i)));
      choices += '=';
      choices += field(objc::cast<NSString>(row.titles()->objectAtIndex(i))->string());
    }
    return choices;
  }
  if (row.hasRange()) return numberText(row.minimum()) + ".." + numberText(row.maximum());
  return "";
}

std::string describe(id pane, const PSSpecifier& row) {
  std::string value;
  if (!row.key().empty()) value = valueText(row, valueOf(pane, row).get());
  const bool number = row.cellType() == PSSliderCell || row.cellType() == PSEditTextCell;
  return std::string(kindOf(row.cellType())) + "\t" + field(row.identifier()) + "\t" +
         field(row.name()) + "\t" + field(row.key()) + "\t" + value + "\t" + rangeText(row) +
         (number && takesWholeNumbers(row) ? "\twhole" : "");
}

// `lines` after `first`, one per line, as many as a reply holds; a last line "more N" tells how
// many did not fit.
std::string listReply(std::string first, const std::vector<std::string>& lines) {
  constexpr std::size_t kRoomForMore = 16;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (first.size() + 1 + lines[i].size() + kRoomForMore > control::kMaxMessageBytes)
      return first + "\nmore " + std::to_string(lines.size() - i);
    first += "\n" + lines[i];
  }
  return first;
}

std::string rowsOf(const std::string& name, id pane) {
  std::vector<std::string> lines;
  if (const auto* rows = objc::cast<NSArray>(msgSend<id>(pane, "specifiers"))) {
    for (const auto& row : rows->objects())
      if (const auto* specifier = objc::cast<PSSpecifier>(row.get()))
        lines.push_back(describe(pane, *specifier));
  }
  return listReply("ok " + field(name), lines);
}

std::string panes() {
  std::vector<std::string> names;
  for (const std::string& name : paneNames()) names.push_back(field(name));
  return listReply("ok", names);
}

std::string rows(const std::string& name) {
  if (name.empty()) {
    const ShownPane shown = shownPane();
    if (shown.pane == nullptr) return errorReply("no pane on screen");
    return rowsOf(shown.name, shown.pane);
  }
  id pane = paneNamed(name);
  if (pane == nullptr) return errorReply("no pane \"" + field(name) + "\"");
  return rowsOf(name, pane);
}

// The row whose id or label is `name` and whose kind is `type`.
std::optional<Row> rowNamed(const std::string& name, PSCellType type) {
  for (const Row& row : allRows())
    if (row.specifier->cellType() == type &&
        (row.specifier->identifier() == name || row.specifier->name() == name))
      return row;
  return std::nullopt;
}

std::string followLink(const std::string& name) {
  const auto link = rowNamed(name, PSLinkCell);
  if (!link) return errorReply("no link \"" + field(name) + "\"");
  id pane = open(*link);
  if (pane == nullptr) return errorReply("the link \"" + field(name) + "\" leads to no pane");
  drawShownPane();
  return rowsOf(link->specifier->identifier(), pane);
}

std::string back() {
  if (!goBack()) return errorReply("the pane on screen is a root pane: there is no way back");
  drawShownPane();
  return rows("");
}

std::string set(const std::string& argument) {
  const auto [key, input] = control::splitFirstWord(argument);
  if (key.empty() || input.empty()) return errorReply("set needs KEY VALUE");
  for (const Row& row : allRows()) {
    if (row.specifier->key() != key) continue;
    std::string reason;
    const StrongRef<NSNumber> value = row.specifier->valueFromInput(input, &reason);
    if (!value) return errorReply(field(reason));
    msgSend<void>(row.pane, "setPreferenceValue:specifier:", static_cast<id>(value.get()),
                  static_cast<id>(row.specifier));
    drawShownPane(key);
    return "ok " + key + " " + valueText(*row.specifier, value.get());
  }
  return errorReply("no row sets \"" + field(key) + "\"");
}

std::string press(const std::string& name) {
  const auto button = rowNamed(name, PSButtonCell);
  if (!button) return errorReply("no button \"" + field(name) + "\"");
  const auto* action = objc::cast<NSString>(button->specifier->propertyForKey("action"));
  const auto status = objc::trySend<void>(nullptr, button->specifier->target(),
                                          sel_registerName(action->UTF8String()));
  if (status != objc::SendStatus::sent)
    return errorReply("the pane of \"" + field(name) + "\" has no action " +
                      field(action->string()));
  drawShownPane(button->specifier->identifier());
  return "ok pressed " + button->specifier->identifier();
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (command == "panes") return panes();
  if (command == "rows") return rows(request.argument);
  if (command == "follow") return followLink(request.argument);
  if (command == "set") return set(request.argument);
  if (command == "press") return press(request.argument);
  if (command == "back") return back();
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return errorReply("unknown command " + command);
}

void startControlService() {
  drawShownPane();
  screen::serveScreenHost("Preferences", settingsScreen(), &handleControlRequest);
}

}  // namespace settings_app
