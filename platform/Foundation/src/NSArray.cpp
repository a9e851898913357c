#include "Foundation/NSArray.h"

#include "objc/message.h"

std::string NSArray::description() const {
  std::string text = "(";
  for (const auto& object : objects_)
    text += "\n    " + (object ? object->description() : std::string("(null)")) + ",";
  return text + (objects_.empty() ? ")" : "\n)");
}

void NSArray::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "count", +[](id self, SEL) {
        return static_cast<unsigned long>(static_cast<NSArray*>(self)->count());
      });
  objc::addMethod(
      cls, "objectAtIndex:", +[](id self, SEL, unsigned long index) -> id {
        return static_cast<NSArray*>(self)->objectAtIndex(index);
      });
}

void NSMutableArray::addObject(id object) {
  if (object != nullptr) objects_.emplace_back(object);
}
