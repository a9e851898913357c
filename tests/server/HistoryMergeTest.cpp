#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "TempDevice.h"
#include "Vellamor2/SpringBoardServer.h"

namespace {

constexpr std::size_t kPacketSize = 32784;
constexpr std::size_t kHistorySize = 655372;

// A packet as the audio daemon sends it; sample i of channel k is `first + k * 0.5 + i`.
std::vector<unsigned char> packet(int32_t channels, int32_t frames, float first) {
  std::vector<unsigned char> bytes(kPacketSize, 0);
  auto* samples = reinterpret_cast<float*>(bytes.data());
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < 4096; ++i) samples[k * 4096 + i] = first + k * 0.5f + static_cast<float>(i);
  }
  std::memcpy(bytes.data() + 32768, &channels, 4);
  std::memcpy(bytes.data() + 32772, &frames, 4);
  return bytes;
}

bool merge(const std::vector<unsigned char>& bytes) {
  return SpringBoardServer::mergePacket(bytes.data(), bytes.size());
}

// Before any fixture has touched it (ctest runs every case in a process of its own).
TEST(HistoryRecord, IsZeroAtLoad) {
  static_assert(sizeof ServerData == kHistorySize);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&ServerData);
  EXPECT_TRUE(std::all_of(bytes, bytes + kHistorySize, [](unsigned char b) { return b == 0; }));
}

class HistoryMerge : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(&ServerData, 0, sizeof ServerData); }
};

TEST_F(HistoryMerge, OnePacketIntoAnEmptyHistoryFillsTheNewestSlot) {
  ASSERT_TRUE(merge(packet(2, 512, 1000)));
  EXPECT_EQ(ServerData.numberBuffers, 2);
  EXPECT_EQ(ServerData.numberFrames, 512);
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < 9728; ++i) ASSERT_EQ(ServerData.data[k][i], 0.0f) << k << " " << i;
    for (int i = 0; i < 512; ++i) {
      ASSERT_EQ(ServerData.data[k][9728 + i], 1000 + k * 0.5f + i) << k << " " << i;
    }
    EXPECT_EQ(ServerData.data[k][10240], 0.0f);  // nothing written past the window
  }
}

class TwentyPackets : public HistoryMerge, public ::testing::WithParamInterface<int> {};

TEST_P(TwentyPackets, HoldTheWindowOldestFirst) {
  const int n = GetParam();
  for (int p = 0; p < 25; ++p) ASSERT_TRUE(merge(packet(2, n, p * 10000.0f)));
  // Packets 5 to 24 remain, packet 5 first.
  for (int slot = 0; slot < 20; ++slot) {
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(ServerData.data[k][slot * n], (slot + 5) * 10000.0f + k * 0.5f) << slot;
      EXPECT_EQ(ServerData.data[k][slot * n + n - 1], (slot + 5) * 10000.0f + k * 0.5f + n - 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(HistoryMerge, TwentyPackets, ::testing::Values(1, 512, 1024, 4096));

TEST_F(HistoryMerge, AShorterPacketShiftsByItsOwnFrameCount) {
  for (int p = 0; p < 20; ++p) ASSERT_TRUE(merge(packet(2, 1024, p * 10000.0f)));
  auto before = std::make_unique<serverDataStruct>(ServerData);
  ASSERT_TRUE(merge(packet(2, 512, -1)));
  EXPECT_EQ(ServerData.numberFrames, 512);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(std::memcmp(ServerData.data[k], before->data[k] + 512, 9728 * sizeof(float)), 0);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(ServerData.data[k][9728 + i], -1 + k * 0.5f + i);
  }
}

TEST_F(HistoryMerge, AMonoPacketLeavesTheSecondChannelAlone) {
  for (int p = 0; p < 3; ++p) ASSERT_TRUE(merge(packet(2, 512, p * 10000.0f)));
  auto before = std::make_unique<serverDataStruct>(ServerData);
  ASSERT_TRUE(merge(packet(1, 512, 7)));
  EXPECT_EQ(ServerData.numberBuffers, 1);
  EXPECT_EQ(std::memcmp(ServerData.data[1], before->data[1], sizeof ServerData.data[1]), 0);
  EXPECT_EQ(ServerData.data[0][9728], 7.0f);
}

struct Malformed {
  const char* name;
  int32_t channels;
  int32_t frames;
  std::size_t length;
};

class MalformedPacket : public HistoryMerge, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedPacket, ChangesNothing) {
  ASSERT_TRUE(merge(packet(2, 512, 5)));
  auto before = std::make_unique<serverDataStruct>(ServerData);
  std::vector<unsigned char> bytes = packet(GetParam().channels, GetParam().frames, 9);
  bytes.resize(GetParam().length);
  EXPECT_FALSE(SpringBoardServer::mergePacket(bytes.data(), bytes.size()));
  EXPECT_EQ(std::memcmp(&ServerData, before.get(), sizeof ServerData), 0);
}

INSTANTIATE_TEST_SUITE_P(HistoryMerge, MalformedPacket,
                         ::testing::Values(Malformed{"ShortBody", 2, 512, kPacketSize - 1},
                                           Malformed{"FourBytes", 2, 512, 4},
                                           Malformed{"Empty", 2, 512, 0},
                                           Malformed{"NoChannels", 0, 512, kPacketSize},
                                           Malformed{"ThreeChannels", 3, 512, kPacketSize},
                                           Malformed{"NegativeChannels", -1, 512, kPacketSize},
                                           Malformed{"NoFrames", 2, 0, kPacketSize},
                                           Malformed{"TooManyFrames", 2, 4097, kPacketSize},
                                           Malformed{"NegativeFrames", 2, -512, kPacketSize}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ServiceStart, MakesTheSettingsManagerWithACompleteDictionary) {
  testing_support::TempDevice device;
  ServerData.busy = true;
  SpringBoardServer::startService();
  EXPECT_FALSE(ServerData.busy);
  ASSERT_TRUE(sManager);
  ASSERT_NE(sManager->preferences(), nullptr);
  EXPECT_EQ(sManager->preferences()->count(), 43u);
  SettingsManager* first = sManager.get();
  SpringBoardServer::startService();
  EXPECT_NE(sManager.get(), first);
}

}  // namespace
