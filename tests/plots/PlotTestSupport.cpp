#include "PlotTestSupport.h"

#include <cmath>
#include <cstring>

#include "Renderer/ImageComparison.h"
#include "SettingsText.h"
#include "TempDevice.h"
#include "Vellamor2/SettingsManager.h"

namespace plot_testing {

std::unique_ptr<serverDataStruct> makeRecord(int channels, int frames) {
  auto record = preview::makeEmptyRecord();
  record->numberBuffers = channels;
  record->numberFrames = frames;
  return record;
}

void fillChannel(serverDataStruct& record, int channel, const std::function<float(int)>& value) {
  const int frames = std::clamp(record.numberFrames, 0, 4096);
  for (int i = 0; i < 20 * frames; ++i) record.data[channel][i] = value(i);
}

float newestSample(const serverDataStruct& record, int channel, int packets, int i) {
  return record.data[channel][(20 - packets) * record.numberFrames + i];
}

std::function<float(int)> noise(float amplitude, std::uint32_t seed) {
  return [amplitude, seed](int i) {
    std::uint32_t x = static_cast<std::uint32_t>(i) * 2654435761u + seed * 40503u + 1u;
    x ^= x >> 15;
    x *= 2246822519u;
    x ^= x >> 13;
    return amplitude * (static_cast<float>(x % 20001u) / 10000.0f - 1.0f);
  };
}

StrongRef<NSMutableDictionary> settings(std::initializer_list<SettingValue> overrides) {
  auto dictionary = preview::defaultSettings();
  bool enabledCFGiven = false;
  for (const auto& [key, value] : overrides) {
    StrongRef<NSNumber> number = NSNumber::numberWithDouble(value);
    for (const auto& setting : vellamor2::settingDefaults()) {
      if (std::strcmp(setting.dictionaryKey, key) != 0) continue;
      using Type = vellamor2::SettingDefault::Type;
      switch (setting.type) {
        case Type::Bool:
          number = NSNumber::numberWithBool(value != 0);
          break;
        case Type::Int:
          number = value == std::floor(value) ? NSNumber::numberWithInt(static_cast<int>(value))
                                              : NSNumber::numberWithDouble(value);
          break;
        case Type::Float:
          number = NSNumber::numberWithFloat(static_cast<float>(value));
          break;
        case Type::Double:
          number = NSNumber::numberWithDouble(value);
          break;
      }
    }
    if (std::strcmp(key, "enabledCF") == 0) {
      enabledCFGiven = true;
      number = NSNumber::numberWithBool(value != 0);
    }
    dictionary->setObject(number.get(), key);
  }
  if (!enabledCFGiven) {
    const bool enabled = dictionary->integerValue("colourMethod") == 2;
    dictionary->setObject(NSNumber::numberWithBool(enabled).get(), "enabledCF");
  }
  return dictionary;
}

std::vector<CGPoint> pathPoints(const CAShapeLayer* layer) {
  if (layer == nullptr || layer->path() == nullptr || layer->path()->subpathCount() == 0) return {};
  const auto points = layer->path()->subpathPoints(0);
  return {points.begin(), points.end()};
}

bool pathClosed(const CAShapeLayer* layer) {
  return layer != nullptr && layer->path() != nullptr && layer->path()->subpathCount() > 0 &&
         layer->path()->subpath(0).closed;
}

::testing::AssertionResult sameColor(CGColorRef actual, CGFloat red, CGFloat green, CGFloat blue,
                                     CGFloat alpha) {
  if (actual == nullptr) return ::testing::AssertionFailure() << "no colour";
  const CGFloat expected[4] = {red, green, blue, alpha};
  for (int k = 0; k < 4; ++k) {
    if (std::fabs(actual->components[k] - expected[k]) > 1e-6)
      return ::testing::AssertionFailure()
             << "colour (" << actual->red() << ", " << actual->green() << ", " << actual->blue()
             << ", " << actual->alpha() << ") is not (" << red << ", " << green << ", " << blue
             << ", " << alpha << ")";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameColor(const UIColor* actual, CGFloat red, CGFloat green,
                                     CGFloat blue, CGFloat alpha) {
  return sameColor(actual != nullptr ? actual->CGColor() : nullptr, red, green, blue, alpha);
}

::testing::AssertionResult matchesGolden(const render::Image& image, const std::string& name) {
  const auto path = testing_support::sourceDirectory() / "tests" / "golden" / (name + ".png");
  const render::Comparison comparison = render::compareWithGolden(image, path.string());
  if (comparison.matches) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << comparison.message;
}

}  // namespace plot_testing
