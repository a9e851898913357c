#pragma once
// Foundation's value objects: strings, numbers, data and dictionaries. Dictionaries are keyed
// by string; a missing key reads as no object, and so as 0 or false through the typed getters.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "objc/StrongRef.h"
#include "objc/runtime.h"

class NSString : public NSObject {
  OBJC_NATIVE_CLASS(NSString, NSObject)
 public:
  NSString() = default;
  explicit NSString(std::string text) : text_(std::move(text)) {}
  static StrongRef<NSString> stringWithUTF8String(const char* text);

  const std::string& string() const { return text_; }
  const char* UTF8String() const { return text_.c_str(); }
  std::size_t length() const { return text_.size(); }
  bool isEqualToString(const NSString* other) const { return other && other->text_ == text_; }

  // Leading number of the text, as the platform's NSString reads it; 0 when there is none.
  double doubleValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  int intValue() const;
  long integerValue() const;
  // True for text beginning with Y, y, T, t or a non-zero digit.
  bool boolValue() const;

  std::string description() const override { return text_; }
  bool isEqual(const NSObject* other) const override;
  static void registerMethods_(Class cls);

 private:
  std::string text_;
};

class NSNumber : public NSObject {
  OBJC_NATIVE_CLASS(NSNumber, NSObject)
 public:
  enum class Kind { boolean, int32, int64, float32, float64 };

  NSNumber() = default;
  static StrongRef<NSNumber> numberWithBool(bool value);
  static StrongRef<NSNumber> numberWithInt(int value);
  static StrongRef<NSNumber> numberWithInteger(long value);
  static StrongRef<NSNumber> numberWithFloat(float value);
  static StrongRef<NSNumber> numberWithDouble(double value);

  Kind kind() const { return kind_; }
  // The platform's type code of the stored value: 'c' (bool), 'i', 'q', 'f' or 'd'.
  char objCType() const;
  bool boolValue() const;
  int intValue() const { return static_cast<int>(integerValue()); }
  long integerValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  double doubleValue() const;

  std::string description() const override;
  bool isEqual(const NSObject* other) const override;
  static void registerMethods_(Class cls);

 private:
  Kind kind_ = Kind::int32;
  union {
    std::int64_t integer_ = 0;
    double real_;
  };
  float float_ = 0;
};

class NSData : public NSObject {
  OBJC_NATIVE_CLASS(NSData, NSObject)
 public:
  NSData() = default;
  ~NSData() override;
  // A copy of the bytes.
  static StrongRef<NSData> dataWithBytes(const void* bytes, std::size_t length);
  // The bytes themselves, read in place; freed with free() at the end only when `freeWhenDone`.
  static StrongRef<NSData> dataWithBytesNoCopy(void* bytes, std::size_t length, bool freeWhenDone);

  const void* bytes() const { return bytes_; }
  std::size_t length() const { return length_; }

 private:
  std::vector<std::uint8_t> owned_;
  void* bytes_ = nullptr;
  std::size_t length_ = 0;
  bool freeWhenDone_ = false;
};

class NSDictionary : public NSObject {
  OBJC_NATIVE_CLASS(NSDictionary, NSObject)
 public:
  using Storage = std::map<std::string, StrongRef<NSObject>, std::less<>>;

  NSDictionary() = default;
  explicit NSDictionary(Storage entries) : entries_(std::move(entries)) {}

  id objectForKey(std::string_view key) const;
  std::size_t count() const { return entries_.size(); }
  std::vector<std::string> allKeys() const;
  const Storage& entries() const { return entries_; }

  // The value under `key` read as the platform reads it: a missing key, or a value that is not a
  // number or string, gives 0 or false.
  bool boolValue(std::string_view key) const;
  long integerValue(std::string_view key) const;
  int intValue(std::string_view key) const { return static_cast<int>(integerValue(key)); }
  float floatValue(std::string_view key) const;
  double doubleValue(std::string_view key) const;

  std::string description() const override;

 protected:
  Storage entries_;
};

class NSMutableDictionary : public NSDictionary {
  OBJC_NATIVE_CLASS(NSMutableDictionary, NSDictionary)
 public:
  NSMutableDictionary() = default;
  static StrongRef<NSMutableDictionary> dictionary() { return objc::make<NSMutableDictionary>(); }

  void setObject(id value, std::string_view key);  // a null value removes the key
  void removeObjectForKey(std::string_view key);
  void removeAllObjects() { entries_.clear(); }
};

// The value of any number or string as the platform's typed getters read it (0 otherwise).
bool boolValueOf(const NSObject* value);
long integerValueOf(const NSObject* value);
double doubleValueOf(const NSObject* value);
