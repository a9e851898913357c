#include "GroupedList.h"

#include <CoreGraphics/CGPath.h>
#include <HostScreen/PlayerChrome.h>
#include <QuartzCore/CAShapeLayer.h>
#include <QuartzCore/CATextLayer.h>

#include <algorithm>
#include <cctype>

namespace settings_app {
namespace {

// The phone's measures, in points.
constexpr double kBarBottom = 64;  // status bar and navigation bar
constexpr double kRowHeight = 44;
constexpr double kInset = 15;
constexpr double kGapWithoutHeader = 35;
constexpr double kGapWithHeader = 38;
constexpr double kFooterLine = 17;
constexpr double kEndGap = 35;
constexpr std::size_t kFooterCharactersPerLine = 46;

constexpr CGColor kGroupedBackground = CGColorMakeRGBA(0.937, 0.937, 0.957, 1);
constexpr CGColor kBarColour = CGColorMakeRGBA(0.973, 0.973, 0.973, 1);
constexpr CGColor kCellColour = CGColorMakeRGBA(1, 1, 1, 1);
constexpr CGColor kSeparator = CGColorMakeRGBA(0.784, 0.78, 0.8, 1);
constexpr CGColor kText = CGColorMakeRGBA(0, 0, 0, 1);
constexpr CGColor kSecondaryText = CGColorMakeRGBA(0.557, 0.557, 0.576, 1);
constexpr CGColor kSectionText = CGColorMakeRGBA(0.427, 0.427, 0.447, 1);
constexpr CGColor kTint = CGColorMakeRGBA(0, 0.478, 1, 1);
constexpr CGColor kSwitchOn = CGColorMakeRGBA(0.298, 0.851, 0.392, 1);
constexpr CGColor kSwitchOff = CGColorMakeRGBA(0.898, 0.898, 0.918, 1);
constexpr CGColor kTrack = CGColorMakeRGBA(0.718, 0.718, 0.718, 1);
constexpr CGColor kChevron = CGColorMakeRGBA(0.78, 0.78, 0.8, 1);

void addRectangle(CALayer* parent, CGRect frame, const CGColor& colour) {
  auto layer = CALayer::layer();
  layer->setFrame(frame);
  layer->setBackgroundColor(&colour);
  parent->addSublayer(layer.get());
}

void addText(CALayer* parent, CGRect frame, const std::string& text, double size,
             const CGColor& colour, CATextLayerAlignmentMode alignment, bool bold = false) {
  screen::addTextLine(parent, frame, size, bold, colour, alignment)->setString(text);
}

// A shape in `parent`'s coordinates.
void addShape(CALayer* parent, const cg::PathRef& path, const CGColor* fill, const CGColor* stroke,
              double lineWidth) {
  auto layer = CAShapeLayer::layer();
  layer->setFrame(parent->bounds());
  layer->setPath(path.get());
  layer->setFillColor(fill);
  layer->setStrokeColor(stroke);
  layer->setLineWidth(lineWidth);
  layer->setLineCap(kCALineCapRound);
  layer->setLineJoin(kCALineJoinRound);
  parent->addSublayer(layer.get());
}

// A chevron pointing right (or left) whose tip is at `tip`.
cg::PathRef chevron(CGPoint tip, double width, double height, bool left) {
  const double back = left ? tip.x + width : tip.x - width;
  auto path = cg::PathRef::mutablePath();
  CGPathMoveToPoint(path.get(), nullptr, back, tip.y - height / 2);
  CGPathAddLineToPoint(path.get(), nullptr, tip.x, tip.y);
  CGPathAddLineToPoint(path.get(), nullptr, back, tip.y + height / 2);
  return path;
}

// Words on lines of at most `perLine` characters.
std::vector<std::string> wrapped(const std::string& text, std::size_t perLine) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (word.empty()) continue;
    if (!line.empty() && line.size() + 1 + word.size() > perLine) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void drawSwitch(CALayer* content, double top, bool on) {
  const CGRect track = CGRectMake(kScreenWidth - kInset - 51, top + 6.5, 51, 31);
  addShape(content, screen::roundedRectPath(track, 15.5), on ? &kSwitchOn : &kCellColour,
           on ? nullptr : &kSwitchOff, 1.5);
  const double knobX = on ? track.origin.x + 51 - 15.5 : track.origin.x + 15.5;
  addShape(content, screen::circlePath(CGPointMake(knobX, top + 22), 13.5), &kCellColour,
           &kSwitchOff, 0.75);
}

void drawSlider(CALayer* content, double top, const ListRow& row) {
  constexpr double kStart = 160, kEnd = 305;
  const double position = std::clamp(row.position, 0.0, 1.0);
  const double knob = kStart + (kEnd - kStart) * position;
  const double middle = top + kRowHeight / 2;
  addRectangle(content, CGRectMake(kStart, middle - 1, knob - kStart, 2), kTint);
  addRectangle(content, CGRectMake(knob, middle - 1, kEnd - knob, 2), kTrack);
  addShape(content, screen::circlePath(CGPointMake(knob, middle), 12), &kCellColour, &kSwitchOff,
           1);
  addText(content, CGRectMake(kEnd + 14, top, kScreenWidth - kInset - kEnd - 14, kRowHeight),
          row.value, 13, kSecondaryText, kCAAlignmentRight);
}

void drawRow(CALayer* content, double top, const ListRow& row) {
  using Kind = ListRow::Kind;
  addRectangle(content, CGRectMake(0, top, kScreenWidth, kRowHeight), kCellColour);
  const bool slider = row.kind == Kind::slider;
  addText(content, CGRectMake(kInset, top, slider ? 140 : kScreenWidth - 2 * kInset, kRowHeight),
          row.label, slider ? 14 : 16, row.kind == Kind::button ? kTint : kText, kCAAlignmentLeft);
  const bool chevronRow = row.kind == Kind::link || row.kind == Kind::choice;
  if (chevronRow)
    addShape(content,
             chevron(CGPointMake(kScreenWidth - kInset, top + kRowHeight / 2), 6.5, 13, false),
             nullptr, &kChevron, 2.5);
  if (row.kind == Kind::choice || row.kind == Kind::number)
    addText(content,
            CGRectMake(170, top, kScreenWidth - 170 - kInset - (chevronRow ? 16 : 0), kRowHeight),
            row.value, 16, kSecondaryText, kCAAlignmentRight);
  if (row.kind == Kind::toggle) drawSwitch(content, top, row.on);
  if (slider) drawSlider(content, top, row);
}

void drawBars(CALayer* screen, const ListPage& page) {
  addRectangle(screen, CGRectMake(0, 0, kScreenWidth, kBarBottom), kBarColour);
  addRectangle(screen, CGRectMake(0, kBarBottom - 0.5, kScreenWidth, 0.5), kSeparator);
  addText(screen, CGRectMake(90, 20, kScreenWidth - 180, 44), page.title, 17, kText,
          kCAAlignmentCenter, true);
  if (page.backTitle.empty()) return;
  addShape(screen, chevron(CGPointMake(9, 42), 10, 20, true), nullptr, &kTint, 3);
  addText(screen, CGRectMake(26, 20, 80, 44), page.backTitle, 16, kTint, kCAAlignmentLeft);
}

// The rows laid out on `content` from its top; returns the content's height and, in `focusBottom`,
// where the focused row's section ends (its footer included).
double layOut(CALayer* content, const std::vector<ListRow>& rows, std::optional<std::size_t> focus,
              double* focusBottom) {
  double y = 0;
  bool inSection = false;
  bool focusInSection = false;
  std::string footer;
  auto closeSection = [&] {
    if (inSection) addRectangle(content, CGRectMake(0, y, kScreenWidth, 0.5), kSeparator);
    if (!footer.empty()) {
      y += 7;
      for (const std::string& line : wrapped(footer, kFooterCharactersPerLine)) {
        addText(content, CGRectMake(kInset, y, kScreenWidth - 2 * kInset, kFooterLine), line, 13,
                kSectionText, kCAAlignmentLeft);
        y += kFooterLine;
      }
    }
    if (focusInSection) *focusBottom = y;
    focusInSection = false;
    inSection = false;
    footer.clear();
  };
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ListRow& row = rows[i];
    if (row.kind == ListRow::Kind::group) {
      closeSection();
      y += row.label.empty() ? kGapWithoutHeader : kGapWithHeader;
      if (!row.label.empty())
        addText(content, CGRectMake(kInset, y - 26, kScreenWidth - 2 * kInset, 20),
                upperCase(row.label), 13, kSectionText, kCAAlignmentLeft);
      footer = row.footer;
      continue;
    }
    if (!inSection) {
      if (i == 0) y += kGapWithoutHeader;
      addRectangle(content, CGRectMake(0, y - 0.5, kScreenWidth, 0.5), kSeparator);
    }
    drawRow(content, y, row);
    if (inSection)
      addRectangle(content, CGRectMake(kInset, y, kScreenWidth - kInset, 0.5), kSeparator);
    inSection = true;
    y += kRowHeight;
    focusInSection = focusInSection || (focus && *focus == i);
  }
  closeSection();
  return y + kEndGap;
}

}  // namespace

void drawGroupedList(CALayer* screen, const ListPage& page, std::optional<std::size_t> focus) {
  while (!screen->sublayers().empty()) {
    const StrongRef<CALayer> last = screen->sublayers().back();
    last->removeFromSuperlayer();
  }
  screen->setBackgroundColor(&kGroupedBackground);

  constexpr double kVisible = kScreenHeight - kBarBottom;
  auto viewport = CALayer::layer();
  viewport->setFrame(CGRectMake(0, kBarBottom, kScreenWidth, kVisible));
  viewport->setMasksToBounds(true);
  screen->addSublayer(viewport.get());
  auto content = CALayer::layer();
  // Tall enough for every shape's layer while the rows are laid out; cut to the list after.
  content->setFrame(CGRectMake(0, 0, kScreenWidth, 16 * kScreenHeight));
  double focusBottom = 0;
  const double height = layOut(content.get(), page.rows, focus, &focusBottom);
  // A row below the fold is scrolled up into view, as far as the list goes.
  const double offset = std::clamp(focusBottom + kGapWithoutHeader / 2 - kVisible, 0.0,
                                   std::max(0.0, height - kVisible));
  content->setFrame(CGRectMake(0, -offset, kScreenWidth, std::max(height, kVisible)));
  viewport->addSublayer(content.get());
  drawBars(screen, page);
}

}  // namespace settings_app
