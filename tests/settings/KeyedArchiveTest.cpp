#include <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <functional>
#include <string>

namespace {

using Status = NSKeyedUnarchiverStatus;

StrongRef<NSMutableDictionary> sampleSettings() {
  auto settings = NSMutableDictionary::dictionary();
  settings->setObject(NSNumber::numberWithBool(true).get(), "enabledLS");
  settings->setObject(NSNumber::numberWithInt(-3).get(), "visMethod");
  settings->setObject(NSNumber::numberWithFloat(0.9f).get(), "barsGain");
  settings->setObject(NSNumber::numberWithDouble(0.6).get(), "backgroundColourAlpha");
  settings->setObject(NSString::stringWithUTF8String("loud").get(), "waveGain");
  return settings;
}

TEST(KeyedArchive, DictionaryOfNumbersAndStringsRoundTrips) {
  auto settings = sampleSettings();
  StrongRef<NSData> data = NSKeyedArchiver::archivedDataWithRootObject(settings.get());
  ASSERT_TRUE(data);
  Status status = Status::noData;
  StrongRef<NSObject> object = NSKeyedUnarchiver::unarchiveObjectWithData(data.get(), &status);
  EXPECT_EQ(status, Status::ok);
  auto* decoded = objc::cast<NSMutableDictionary>(object.get());
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(decoded->count(), settings->count());
  EXPECT_EQ(objc::cast<NSNumber>(decoded->objectForKey("enabledLS"))->kind(),
            NSNumber::Kind::boolean);
  EXPECT_EQ(decoded->integerValue("visMethod"), -3);
  EXPECT_FLOAT_EQ(decoded->floatValue("barsGain"), 0.9f);
  EXPECT_DOUBLE_EQ(decoded->doubleValue("backgroundColourAlpha"), 0.6);
  auto* text = objc::cast<NSString>(decoded->objectForKey("waveGain"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->string(), "loud");
}

TEST(KeyedArchive, RefusesWhatItCannotArchive) {
  EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(nullptr));
  EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(NSNumber::numberWithInt(1).get()));
  auto nested = NSMutableDictionary::dictionary();
  nested->setObject(sampleSettings().get(), "inner");
  EXPECT_FALSE(NSKeyedArchiver::archivedDataWithRootObject(nested.get()));
}

TEST(KeyedArchive, EveryTruncationIsRefused) {
  StrongRef<NSData> data = NSKeyedArchiver::archivedDataWithRootObject(sampleSettings().get());
  ASSERT_TRUE(data);
  const auto* bytes = static_cast<const char*>(data->bytes());
  for (std::size_t length = 0; length < data->length(); ++length) {
    Status status = Status::ok;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithBytes(bytes, length, &status))
        << "length " << length;
    EXPECT_NE(status, Status::ok);
  }
}

// A hand-made archive: the valid layout, then `damage` applied to it.
std::string craftedArchive(const std::function<void(plist_t archive, plist_t objects)>& damage) {
  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t body = plist_new_dict();
  plist_t keys = plist_new_array();
  plist_array_append_item(keys, plist_new_uid(2));
  plist_t values = plist_new_array();
  plist_array_append_item(values, plist_new_uid(3));
  plist_dict_set_item(body, "NS.keys", keys);
  plist_dict_set_item(body, "NS.objects", values);
  plist_dict_set_item(body, "$class", plist_new_uid(4));
  plist_array_append_item(objects, body);
  plist_array_append_item(objects, plist_new_string("barsNumber"));
  plist_array_append_item(objects, plist_new_uint(64));
  plist_t description = plist_new_dict();
  plist_dict_set_item(description, "$classname", plist_new_string("NSMutableDictionary"));
  plist_array_append_item(objects, description);
  plist_t archive = plist_new_dict();
  plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(archive, "$top", top);
  plist_dict_set_item(archive, "$objects", objects);
  damage(archive, objects);
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(archive, &bytes, &length);
  std::string out(bytes, length);
  plist_to_bin_free(bytes);
  plist_free(archive);
  return out;
}

struct HostileCase {
  const char* name;
  std::function<std::string()> bytes;
  Status expected;
};

class HostileArchive : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileArchive, GivesNoObjectAndSaysWhy) {
  const std::string bytes = GetParam().bytes();
  Status status = Status::noData;
  StrongRef<NSObject> object =
      NSKeyedUnarchiver::unarchiveObjectWithBytes(bytes.data(), bytes.size(), &status);
  EXPECT_EQ(status, GetParam().expected) << NSKeyedUnarchiver::describeStatus(status);
  if (GetParam().expected == Status::ok) {
    // The undamaged hand-made layout decodes: the damaged ones fail for their damage alone.
    auto* dictionary = objc::cast<NSDictionary>(object.get());
    ASSERT_NE(dictionary, nullptr);
    EXPECT_EQ(dictionary->integerValue("barsNumber"), 64);
  } else {
    EXPECT_FALSE(object);
  }
}

plist_t bodyOf(plist_t objects) {
  return plist_array_get_item(objects, 1);
}

INSTANTIATE_TEST_SUITE_P(
    KeyedArchive, HostileArchive,
    ::testing::Values(
        HostileCase{"Empty", [] { return std::string(); }, Status::noData},
        HostileCase{"Garbage", [] { return std::string("\x00\x01\x02 not a plist", 16); },
                    Status::notPropertyList},
        HostileCase{"MagicOnly", [] { return std::string("bplist00"); }, Status::notPropertyList},
        HostileCase{"XmlInsteadOfBinary",
                    [] { return std::string("<?xml version=\"1.0\"?><plist><dict/></plist>"); },
                    Status::notPropertyList},
        HostileCase{"ValidLayout",  // the crafted archive itself decodes; checked below
                    [] { return craftedArchive([](plist_t, plist_t) {}); }, Status::ok},
        HostileCase{"NulInsideAString",
                    [] {
                      std::string bytes = craftedArchive([](plist_t, plist_t) {});
                      bytes[bytes.find("barsNumber") + 4] = '\0';
                      return bytes;
                    },
                    Status::notPropertyList},
        HostileCase{"DeeplyNested",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_t nested = plist_new_array();
                        for (int i = 0; i < 300; ++i) {
                          plist_t outer = plist_new_array();
                          plist_array_append_item(outer, nested);
                          nested = outer;
                        }
                        plist_array_append_item(objects, nested);
                      });
                    },
                    Status::notPropertyList},
        HostileCase{"WrongArchiver",
                    [] {
                      return craftedArchive([](plist_t archive, plist_t) {
                        plist_dict_set_item(archive, "$archiver", plist_new_string("Other"));
                      });
                    },
                    Status::notArchive},
        HostileCase{"KeyOutsideObjects",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_t keys = plist_dict_get_item(bodyOf(objects), "NS.keys");
                        plist_array_set_item(keys, plist_new_uid(999999), 0);
                      });
                    },
                    Status::badReference},
        HostileCase{"RootOutsideObjects",
                    [] {
                      return craftedArchive([](plist_t archive, plist_t) {
                        plist_dict_set_item(plist_dict_get_item(archive, "$top"), "root",
                                            plist_new_uid(5));
                      });
                    },
                    Status::badReference},
        HostileCase{"ValueIsNotAUid",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_t values = plist_dict_get_item(bodyOf(objects), "NS.objects");
                        plist_array_set_item(values, plist_new_uint(3), 0);
                      });
                    },
                    Status::badReference},
        HostileCase{"CountsDiffer",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_t values = plist_dict_get_item(bodyOf(objects), "NS.objects");
                        plist_array_append_item(values, plist_new_uid(3));
                      });
                    },
                    Status::notArchive},
        HostileCase{"OtherClass",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_dict_set_item(plist_array_get_item(objects, 4), "$classname",
                                            plist_new_string("NSArray"));
                      });
                    },
                    Status::unsupportedObject},
        HostileCase{"SelfReferencingValue",
                    [] {
                      return craftedArchive([](plist_t, plist_t objects) {
                        plist_t values = plist_dict_get_item(bodyOf(objects), "NS.objects");
                        plist_array_set_item(values, plist_new_uid(1), 0);
                      });
                    },
                    Status::unsupportedObject}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
