#pragma once
// Keyed archives of settings dictionaries: a string-keyed dictionary of numbers and strings as a
// binary property list laid out as the platform's keyed archiver lays it out:
//   { "$archiver": "NSKeyedArchiver", "$version": 100000, "$top": { "root": UID 1 },
//     "$objects": [ "$null", { "NS.keys": [UID...], "NS.objects": [UID...], "$class": UID c },
//                   key strings..., values (booleans, integers, reals, strings)...,
//                   { "$classname": "NSMutableDictionary", "$classes": [...] } ] }
// The unarchiver reads bytes from other processes: every reference and type is checked, and bad
// input gives no object and a status saying what was wrong.

#include <cstddef>

#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"

class NSKeyedArchiver : public NSObject {
  OBJC_NATIVE_CLASS(NSKeyedArchiver, NSObject)
 public:
  // Null when `root` is not a dictionary whose values are all numbers or strings.
  static StrongRef<NSData> archivedDataWithRootObject(const NSObject* root);
};

enum class NSKeyedUnarchiverStatus {
  ok,
  noData,            // null or empty data
  tooLarge,          // above kMaximumArchiveLength
  notPropertyList,   // not a binary property list
  notArchive,        // a property list without the archive's keys
  badReference,      // a UID outside "$objects", or one of the wrong type
  unsupportedObject  // a class or value other than a dictionary of numbers and strings
};

class NSKeyedUnarchiver : public NSObject {
  OBJC_NATIVE_CLASS(NSKeyedUnarchiver, NSObject)
 public:
  static constexpr std::size_t kMaximumArchiveLength = 16 * 1024 * 1024;

  // The archived dictionary (an NSMutableDictionary), or null with `status` telling why.
  static StrongRef<NSObject> unarchiveObjectWithData(const NSData* data,
                                                     NSKeyedUnarchiverStatus* status = nullptr);
  static StrongRef<NSObject> unarchiveObjectWithBytes(const void* bytes, std::size_t length,
                                                      NSKeyedUnarchiverStatus* status = nullptr);
  static const char* describeStatus(NSKeyedUnarchiverStatus status);
};
