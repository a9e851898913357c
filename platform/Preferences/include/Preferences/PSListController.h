#pragma once
// PSListController: a pane of the Settings app, a list of rows (PSSpecifier) described by a
// specifier file of the pane's bundle. It is a run-time class below UIViewController, made when
// this library loads, so that a bundle's panes are its subclasses as on the phone. Instance
// variables: `_specifiers` (the rows, an NSArray) and `_bundle` (the NSBundle of its files).
//
//   specifiers                           the rows; the base class returns `_specifiers` as it is
//   loadSpecifiersFromPlistName:target:  (NSString* name, id target) the rows of the bundle's file
//                                        <name>.plist, a new NSArray owned by the caller; a file
//                                        that is missing or malformed gives an empty list and a log
//                                        line, a row the framework cannot show is left out (and
//                                        logged)
//   bundle, setBundle:                   the NSBundle that holds the pane's files
//   readPreferenceValue:                 (PSSpecifier*) the row's stored value (kept by this
//                                        process's copy of the domain until it next synchronises),
//                                        else its default
//   setPreferenceValue:specifier:        (id value, PSSpecifier*) a cell's change: the value, with
//                                        the type of the row's default, under `key` in the domain
//                                        `defaults`, written through; then the Darwin
//                                        notification `PostNotification`, when the row names one
//   specifierForID:                      (NSString*) the row of that identifier, or null

#include <cstddef>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Preferences/PSSpecifier.h"
#include "objc/StrongRef.h"

// Files larger than this are no specifier files.
inline constexpr std::size_t kMaximumSpecifierFileSize = 1024 * 1024;

// The rows of a specifier file's property list ({ items = ( row, ... ); }), for `target`. Every
// problem (no dictionary with items, rows left out) is added to `problems`.
StrongRef<NSMutableArray> PSSpecifiersFromPropertyList(const NSObject* file, id target,
                                                       std::vector<std::string>* problems);
