#include <gtest/gtest.h>

#include "Foundation/Foundation.h"

namespace {

TEST(Foundation, DictionaryReadsMissingKeysAsZero) {
  auto dict = NSMutableDictionary::dictionary();
  dict->setObject(NSNumber::numberWithBool(true).get(), "enabledLS");
  dict->setObject(NSNumber::numberWithFloat(0.9f).get(), "barsGain");
  dict->setObject(NSString::stringWithUTF8String("2.5").get(), "waveGain");
  EXPECT_TRUE(dict->boolValue("enabledLS"));
  EXPECT_FLOAT_EQ(dict->floatValue("barsGain"), 0.9f);
  EXPECT_FLOAT_EQ(dict->floatValue("waveGain"), 2.5f);
  EXPECT_FALSE(dict->boolValue("missing"));
  EXPECT_EQ(dict->integerValue("missing"), 0);
  EXPECT_EQ(msgSend<float>(dict->objectForKey("waveGain"), "floatValue"), 2.5f);
  EXPECT_EQ(msgSend<bool>(dict->objectForKey("missing"), "boolValue"), false);
}

class Listener : public NSObject {
  OBJC_NATIVE_CLASS(Listener, NSObject)
 public:
  int calls = 0;
  std::string lastName;
  static void registerMethods_(Class cls) {
    objc::addMethod(
        cls, "heard:", +[](id self, SEL, NSNotification* n) {
          auto* me = static_cast<Listener*>(self);
          ++me->calls;
          me->lastName = n->name();
        });
  }
};

TEST(Foundation, NotificationsReachObserversUntilRemoved) {
  auto listener = objc::make<Listener>();
  auto* center = NSNotificationCenter::defaultCenter();
  center->addObserver(listener.get(), sel_registerName("heard:"), "Ping", nullptr);
  center->postNotificationName("Ping", nullptr);
  center->postNotificationName("Other", nullptr);
  EXPECT_EQ(listener->calls, 1);
  EXPECT_EQ(listener->lastName, "Ping");
  center->removeObserver(listener.get());
  center->postNotificationName("Ping", nullptr);
  EXPECT_EQ(listener->calls, 1);
}

}  // namespace
