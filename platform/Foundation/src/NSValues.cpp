#include "Foundation/NSValues.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "objc/message.h"

// ---- NSString ----------------------------------------------------------------------------------

StrongRef<NSString> NSString::stringWithUTF8String(const char* text) {
  return objc::make<NSString>(text ? text : "");
}

double NSString::doubleValue() const { return std::strtod(text_.c_str(), nullptr); }
int NSString::intValue() const { return static_cast<int>(integerValue()); }
long NSString::integerValue() const { return std::strtol(text_.c_str(), nullptr, 10); }

bool NSString::boolValue() const {
  for (char c : text_) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '+' || c == '-' || c == '0') continue;
    return std::strchr("YyTt123456789", c) != nullptr && c != '\0';
  }
  return false;
}

bool NSString::isEqual(const NSObject* other) const {
  auto* string = objc::cast<NSString>(other);
  return string != nullptr && string->text_ == text_;
}

void NSString::registerMethods_(Class cls) {
  objc::addMethod(cls, "boolValue", +[](id self, SEL) { return static_cast<NSString*>(self)->boolValue(); });
  objc::addMethod(cls, "intValue", +[](id self, SEL) { return static_cast<NSString*>(self)->intValue(); });
  objc::addMethod(cls, "integerValue", +[](id self, SEL) { return static_cast<NSString*>(self)->integerValue(); });
  objc::addMethod(cls, "floatValue", +[](id self, SEL) { return static_cast<NSString*>(self)->floatValue(); });
  objc::addMethod(cls, "doubleValue", +[](id self, SEL) { return static_cast<NSString*>(self)->doubleValue(); });
}

// ---- NSNumber ----------------------------------------------------------------------------------

StrongRef<NSNumber> NSNumber::numberWithBool(bool value) {
  auto number = objc::make<NSNumber>();
  number->kind_ = Kind::boolean;
  number->integer_ = value ? 1 : 0;
  return number;
}

StrongRef<NSNumber> NSNumber::numberWithInt(int value) {
  auto number = objc::make<NSNumber>();
  number->kind_ = Kind::int32;
  number->integer_ = value;
  return number;
}

StrongRef<NSNumber> NSNumber::numberWithInteger(long value) {
  auto number = objc::make<NSNumber>();
  number->kind_ = Kind::int64;
  number->integer_ = value;
  return number;
}

StrongRef<NSNumber> NSNumber::numberWithFloat(float value) {
  auto number = objc::make<NSNumber>();
  number->kind_ = Kind::float32;
  number->float_ = value;
  number->real_ = value;
  return number;
}

StrongRef<NSNumber> NSNumber::numberWithDouble(double value) {
  auto number = objc::make<NSNumber>();
  number->kind_ = Kind::float64;
  number->real_ = value;
  return number;
}

char NSNumber::objCType() const {
  switch (kind_) {
    case Kind::boolean: return 'c';
    case Kind::int32: return 'i';
    case Kind::int64: return 'q';
    case Kind::float32: return 'f';
    case Kind::float64: return 'd';
  }
  return 'i';
}

bool NSNumber::boolValue() const {
  if (kind_ == Kind::float32 || kind_ == Kind::float64) return real_ != 0.0;
  return integer_ != 0;
}

long NSNumber::integerValue() const {
  if (kind_ == Kind::float32 || kind_ == Kind::float64) {
    if (!std::isfinite(real_) || std::fabs(real_) >= 9.2e18) return 0;
    return static_cast<long>(real_);
  }
  return static_cast<long>(integer_);
}

double NSNumber::doubleValue() const {
  if (kind_ == Kind::float32) return float_;
  if (kind_ == Kind::float64) return real_;
  return static_cast<double>(integer_);
}

std::string NSNumber::description() const {
  char text[64];
  switch (kind_) {
    case Kind::boolean:
    case Kind::int32:
    case Kind::int64: std::snprintf(text, sizeof text, "%lld", static_cast<long long>(integer_)); break;
    case Kind::float32: std::snprintf(text, sizeof text, "%.9g", static_cast<double>(float_)); break;
    case Kind::float64: std::snprintf(text, sizeof text, "%.17g", real_); break;
  }
  return text;
}

bool NSNumber::isEqual(const NSObject* other) const {
  auto* number = objc::cast<NSNumber>(other);
  if (number == nullptr) return false;
  const bool realA = kind_ == Kind::float32 || kind_ == Kind::float64;
  const bool realB = number->kind_ == Kind::float32 || number->kind_ == Kind::float64;
  if (realA || realB) return doubleValue() == number->doubleValue();
  return integer_ == number->integer_;
}

void NSNumber::registerMethods_(Class cls) {
  objc::addMethod(cls, "boolValue", +[](id self, SEL) { return static_cast<NSNumber*>(self)->boolValue(); });
  objc::addMethod(cls, "intValue", +[](id self, SEL) { return static_cast<NSNumber*>(self)->intValue(); });
  objc::addMethod(cls, "integerValue", +[](id self, SEL) { return static_cast<NSNumber*>(self)->integerValue(); });
  objc::addMethod(cls, "floatValue", +[](id self, SEL) { return static_cast<NSNumber*>(self)->floatValue(); });
  objc::addMethod(cls, "doubleValue", +[](id self, SEL) { return static_cast<NSNumber*>(self)->doubleValue(); });
}

// ---- NSData ------------------------------------------------------------------------------------

NSData::~NSData() {
  if (freeWhenDone_) std::free(bytes_);
}

StrongRef<NSData> NSData::dataWithBytes(const void* bytes, std::size_t length) {
  auto data = objc::make<NSData>();
  if (length > 0 && bytes != nullptr) {
    const auto* begin = static_cast<const std::uint8_t*>(bytes);
    data->owned_.assign(begin, begin + length);
    data->bytes_ = data->owned_.data();
    data->length_ = length;
  }
  return data;
}

StrongRef<NSData> NSData::dataWithBytesNoCopy(void* bytes, std::size_t length, bool freeWhenDone) {
  auto data = objc::make<NSData>();
  data->bytes_ = bytes;
  data->length_ = bytes != nullptr ? length : 0;
  data->freeWhenDone_ = freeWhenDone;
  return data;
}

// ---- Dictionaries ------------------------------------------------------------------------------

bool boolValueOf(const NSObject* value) {
  if (auto* number = objc::cast<NSNumber>(value)) return number->boolValue();
  if (auto* string = objc::cast<NSString>(value)) return string->boolValue();
  return false;
}

long integerValueOf(const NSObject* value) {
  if (auto* number = objc::cast<NSNumber>(value)) return number->integerValue();
  if (auto* string = objc::cast<NSString>(value)) return string->integerValue();
  return 0;
}

double doubleValueOf(const NSObject* value) {
  if (auto* number = objc::cast<NSNumber>(value)) return number->doubleValue();
  if (auto* string = objc::cast<NSString>(value)) return string->doubleValue();
  return 0.0;
}

id NSDictionary::objectForKey(std::string_view key) const {
  auto found = entries_.find(key);
  return found == entries_.end() ? nullptr : found->second.get();
}

std::vector<std::string> NSDictionary::allKeys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& [key, value] : entries_) keys.push_back(key);
  return keys;
}

bool NSDictionary::boolValue(std::string_view key) const { return boolValueOf(objectForKey(key)); }
long NSDictionary::integerValue(std::string_view key) const {
  return integerValueOf(objectForKey(key));
}
float NSDictionary::floatValue(std::string_view key) const {
  if (auto* number = objc::cast<NSNumber>(objectForKey(key))) return number->floatValue();
  return static_cast<float>(doubleValueOf(objectForKey(key)));
}
double NSDictionary::doubleValue(std::string_view key) const {
  return doubleValueOf(objectForKey(key));
}

std::string NSDictionary::description() const {
  std::string text = "{";
  for (const auto& [key, value] : entries_) {
    text += "\n    " + key + " = " + (value ? value->description() : std::string("(null)")) + ";";
  }
  return text + (entries_.empty() ? "}" : "\n}");
}

void NSMutableDictionary::setObject(id value, std::string_view key) {
  if (value == nullptr) {
    removeObjectForKey(key);
    return;
  }
  auto found = entries_.find(key);
  if (found != entries_.end())
    found->second = value;
  else
    entries_.emplace(std::string(key), StrongRef<NSObject>(value));
}

void NSMutableDictionary::removeObjectForKey(std::string_view key) {
  auto found = entries_.find(key);
  if (found != entries_.end()) entries_.erase(found);
}
