#pragma once
// A row of a preference pane, as a specifier file describes it:
//   { cell = PSSwitchCell; label = "Lock screen"; key = EnabledLS; default = <true/>;
//     defaults = "<domain>"; PostNotification = "<notification>"; }
// Every entry of the file is kept in `properties`; the framework reads the ones below.
//   all rows     cell, label, id (else key, else label names the row)
//   value rows   key, default (its type is the type written), defaults (the domain),
//                PostNotification (posted after a change)
//   PSSliderCell, PSEditTextCell   min, max (numbers; a text field may leave them out)
//   PSLinkListCell   validValues, validTitles (arrays of one length: the named choices)
//   PSLinkCell   detail (the class of the pane it leads to)
//   PSButtonCell action (a method of the pane without arguments)

#include <string>
#include <string_view>

#include "Foundation/NSArray.h"
#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

// The platform's cell kinds (with the platform's numbers) that this framework offers.
enum PSCellType : long {
  PSGroupCell = 0,
  PSLinkCell = 1,
  PSLinkListCell = 2,
  PSSliderCell = 5,
  PSSwitchCell = 6,
  PSEditTextCell = 8,
  PSButtonCell = 13,
};

class PSSpecifier : public NSObject {
  OBJC_NATIVE_CLASS(PSSpecifier, NSObject)
 public:
  // A row from one entry of a specifier file; null (and `error`) when the entry is not one the
  // framework can show: an unknown cell, or a row without what its kind needs.
  static StrongRef<PSSpecifier> specifierWithEntry(const NSDictionary* entry, id target,
                                                   std::string* error = nullptr);

  PSCellType cellType() const { return cellType_; }
  const std::string& name() const { return name_; }
  const std::string& identifier() const { return identifier_; }
  id propertyForKey(std::string_view key) const { return properties_->objectForKey(key); }
  const NSDictionary* properties() const { return properties_.get(); }
  // The target that the row's action and the value reads and writes go to (not retained: the
  // pane owns its rows).
  id target() const { return target_; }
  void setTarget(id target) { target_ = target; }

  // The stored key and domain of a value row; empty for rows that hold no value.
  std::string key() const;
  std::string defaultsDomain() const;
  // The named choices of a list row (values and titles of one length).
  const NSArray* values() const { return values_.get(); }
  const NSArray* titles() const { return titles_.get(); }
  // A slider's or text field's bounds (a text field without them takes any number).
  bool hasRange() const { return hasRange_; }
  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }

  // The kind name as a specifier file spells it ("PSSwitchCell").
  static const char* cellTypeName(PSCellType type);

  // What the row's cell makes of a person's input: a switch takes on/off (true/false, yes/no,
  // 1/0), a slider a number within its bounds, a list one of its values or titles, a text field a
  // number (within bounds when it has them); a number is whole when the row's default is. The
  // value has the type of the row's default. Null, with `error` naming the row and the input,
  // when the cell could not produce it.
  StrongRef<NSNumber> valueFromInput(std::string_view input, std::string* error) const;

  // `value` with the type of the row's default (bool, integer or real).
  StrongRef<NSNumber> valueWithDefaultType(const NSObject* value) const;

  static void registerMethods_(Class cls);

 private:
  PSCellType cellType_ = PSGroupCell;
  std::string name_;
  std::string identifier_;
  StrongRef<NSMutableDictionary> properties_ = NSMutableDictionary::dictionary();
  StrongRef<NSArray> values_;
  StrongRef<NSArray> titles_;
  bool hasRange_ = false;
  double minimum_ = 0;
  double maximum_ = 0;
  id target_ = nullptr;
};
