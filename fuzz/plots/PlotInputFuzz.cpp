// What a preview takes from outside: Key=Value settings text and a recorded history image. The
// input is settings lines, then a NUL, then bytes that make up a history record (repeated to
// the record's size, so a short input still reaches the counts); whatever parses is drawn.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "SettingsText.h"
#include "objc/message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* end = data + size;
  const auto* separator = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::string text(reinterpret_cast<const char*>(data),
                         separator != nullptr ? separator - data : size);
  std::vector<std::string> assignments;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t line = text.find('\n', start);
    const std::size_t stop = line == std::string::npos ? text.size() : line;
    if (stop > start) assignments.push_back(text.substr(start, stop - start));
    if (line == std::string::npos) break;
    start = line + 1;
  }
  std::string error;
  auto settings = preview::settingsFromAssignments(assignments, &error);

  auto record = preview::makeEmptyRecord();
  if (separator == nullptr || separator + 1 == end) return 0;
  const std::uint8_t* body = separator + 1;
  const std::size_t bodySize = static_cast<std::size_t>(end - body);
  // Short images are refused as they are; a longer pattern fills the record's size.
  preview::parseHistoryRecord({body, bodySize}, *record, &error);
  std::vector<std::uint8_t> image(sizeof(serverDataStruct));
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = body[i % bodySize];
  if (!preview::parseHistoryRecord(image, *record, &error) || !settings) return 0;

  const preview::Scene scene =
      preview::makeScene(settings, preview::Artwork::none, CGSizeMake(64, 48));
  preview::drawFrames(scene, *record, 2);
  scene.plot->clear();
  return 0;
}
