#include "Preferences/PSListController.h"

StrongRef<NSMutableArray> PSSpecifiersFromPropertyList(const NSObject* file, id target,
                                                       std::vector<std::string>* problems) {
  auto list = NSMutableArray::array();
  auto problem = [&](std::string text) {
    if (problems != nullptr) problems->push_back(std::move(text));
  };
  const auto* root = objc::cast<NSDictionary>(file);
  const auto* items = root != nullptr ? objc::cast<NSArray>(root->objectForKey("items")) : nullptr;
  if (items == nullptr) {
    problem("no dictionary with an array of items; the pane has no rows");
    return list;
  }
  for (std::size_t i = 0; i < items->count(); ++i) {
    std::string error;
    const auto* entry = objc::cast<NSDictionary>(items->objectAtIndex(i));
    if (auto specifier = PSSpecifier::specifierWithEntry(entry, target, &error)) {
      list->addObject(specifier.get());
    } else {
      problem("item " + std::to_string(i) + " left out: " + error);
    }
  }
  return list;
}
