#include <gtest/gtest.h>

#include <cstring>

#include "objc/StrongRef.h"
#include "objc/message.h"
#include "objc/runtime.h"

namespace {

class Counted : public NSObject {
  OBJC_NATIVE_CLASS(Counted, NSObject)
 public:
  Counted() { ++alive; }
  ~Counted() override { --alive; }
  static inline int alive = 0;
  int value = 7;
  static void registerMethods_(Class cls) {
    objc::addMethod(
        cls, "value", +[](id self, SEL) { return static_cast<Counted*>(self)->value; });
    objc::addMethod(
        cls, "setValue:", +[](id self, SEL, int v) { static_cast<Counted*>(self)->value = v; });
  }
};

int doubled(id self, SEL) {
  return static_cast<Counted*>(self)->value * 2;
}

TEST(ObjcRuntime, SendsAlongTheSuperclassChainToRunTimeSubclasses) {
  Class sub = objc_allocateClassPair(Counted::class_(), "CountedRuntimeSubclass", 0);
  ASSERT_NE(sub, nullptr);
  ASSERT_TRUE(class_addIvar(sub, "_friend", sizeof(id), 3, "@"));
  objc_registerClassPair(sub);
  EXPECT_EQ(objc_getClass("CountedRuntimeSubclass"), sub);
  EXPECT_EQ(objc_allocateClassPair(nullptr, "CountedRuntimeSubclass", 0), nullptr);

  id object = class_createInstance(sub);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object_getClass(object), sub);
  EXPECT_EQ(msgSend<int>(object, "value"), 7);  // inherited from the native class
  msgSend<void>(object, "setValue:", 21);
  EXPECT_EQ(objc::cast<Counted>(object)->value, 21);

  ASSERT_TRUE(objc::addMethod(sub, "doubled", &doubled));
  EXPECT_STREQ(method_getTypeEncoding(class_getInstanceMethod(sub, sel_registerName("doubled"))),
               "i@:");
  EXPECT_EQ(msgSend<int>(object, "doubled"), 42);

  // A strong instance variable keeps its value alive until the owner goes.
  Ivar ivar = class_getInstanceVariable(sub, "_friend");
  ASSERT_NE(ivar, nullptr);
  EXPECT_GE(ivar_getOffset(ivar), static_cast<std::ptrdiff_t>(sizeof(Counted)));
  const int before = Counted::alive;
  {
    auto buddy = objc::make<Counted>();
    object_setIvar(object, ivar, buddy.get());
  }
  EXPECT_EQ(Counted::alive, before + 1);
  object->release();
  EXPECT_EQ(Counted::alive, before - 1);
}

int tripled(id self, SEL) {
  return static_cast<Counted*>(self)->value * 3;
}

// Sends remember what they found: a method replaced, or added lower down, must be found afresh.
TEST(ObjcRuntime, SendsFindAMethodReplacedOrOverriddenAfterEarlierSends) {
  Class sub = objc_allocateClassPair(Counted::class_(), "CountedOverridingSubclass", 0);
  ASSERT_NE(sub, nullptr);
  objc_registerClassPair(sub);
  id object = class_createInstance(sub);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(msgSend<int>(object, "value"), 7);
  ASSERT_TRUE(objc::addMethod(sub, "value", &doubled));
  EXPECT_EQ(msgSend<int>(object, "value"), 14) << "the override added after a send";
  method_setImplementation(class_getInstanceMethod(sub, sel_registerName("value")),
                           reinterpret_cast<IMP>(&tripled));
  EXPECT_EQ(msgSend<int>(object, "value"), 21) << "the implementation replaced after a send";
  object->release();
}

TEST(ObjcRuntime, ANameBufferUsedAgainNamesItsNewSelector) {
  char name[16] = "value";
  const SEL value = sel_registerName(name);
  std::strcpy(name, "setValue:");
  EXPECT_NE(sel_registerName(name), value);
  EXPECT_STREQ(sel_getName(sel_registerName(name)), "setValue:");
}

TEST(ObjcRuntime, MessagesToNoObjectReturnZero) {
  EXPECT_EQ(msgSend<int>(nullptr, "value"), 0);
  EXPECT_EQ(msgSend<id>(nullptr, "anything"), nullptr);
  msgSend<void>(nullptr, "setValue:", 3);
}

TEST(ObjcRuntime, TypeMismatchIsRefused) {
  auto object = objc::make<Counted>();
  EXPECT_EQ(objc::trySend<double>(nullptr, object.get(), sel_registerName("value")),
            objc::SendStatus::typeMismatch);
  EXPECT_EQ(objc::trySend<void>(nullptr, object.get(), sel_registerName("setValue:"), 1.5),
            objc::SendStatus::typeMismatch);
  EXPECT_EQ(objc::trySend<void>(nullptr, object.get(), sel_registerName("noSuchMethod")),
            objc::SendStatus::unrecognizedSelector);
  EXPECT_DEATH(msgSend<float>(object.get(), "value"), "sent as \"f@:\" but the method is \"i@:\"");
}

TEST(ObjcRuntime, StrongReferencesRetainAndRelease) {
  const int before = Counted::alive;
  StrongRef<Counted> a = objc::make<Counted>();
  EXPECT_EQ(a->retainCount(), 1u);
  {
    StrongRef<Counted> b = a;
    EXPECT_EQ(a->retainCount(), 2u);
    StrongRef<NSObject> c = std::move(b);
    EXPECT_EQ(a->retainCount(), 2u);
  }
  EXPECT_EQ(a->retainCount(), 1u);
  a = nullptr;
  EXPECT_EQ(Counted::alive, before);
}

}  // namespace
