#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Vellamor2/Messaging/LMLayout.h"

namespace {

struct SizeCase {
  int pointerBits;
  uint32_t length;
  uint32_t size;
};

class MessageSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(MessageSize, FollowsTheLayout) {
  const SizeCase c = GetParam();
  uint32_t size = c.pointerBits == 32 ? LMLayout32::bufferSizeForLength(c.length)
                                      : LMLayout64::bufferSizeForLength(c.length);
  EXPECT_EQ(size, c.size);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, MessageSize,
                         ::testing::Values(SizeCase{32, 0, 40}, SizeCase{32, 1, 44},
                                           SizeCase{32, 4, 44}, SizeCase{32, 4096, 4136},
                                           SizeCase{32, 4097, 40}, SizeCase{64, 4, 48},
                                           SizeCase{64, 4096, 4140}, SizeCase{64, 4097, 44}));

template <typename Layout>
void checkBodies() {
  std::vector<unsigned char> message(Layout::kResponseBufferSize, 0);
  // A 4-byte body travels in-line.
  Layout::write32(message.data(), 4, Layout::bufferSizeForLength(4));
  uint32_t four = 0x01020304;
  Layout::assignData(message.data(), &four, 4);
  EXPECT_EQ(Layout::read32(message.data(), Layout::kDescriptorCountOffset), 0u);
  EXPECT_EQ(Layout::getDataLength(message.data()), 4u);
  EXPECT_EQ(std::memcmp(Layout::getData(message.data()), &four, 4), 0);
  // A 4,097-byte body travels out-of-line.
  std::fill(message.begin(), message.end(), 0);
  std::vector<char> large(4097);
  Layout::write32(message.data(), 4, Layout::bufferSizeForLength(4097));
  Layout::assignData(message.data(), large.data(), 4097);
  EXPECT_EQ(Layout::read32(message.data(), 4), Layout::kBareSize);
  EXPECT_NE(Layout::read32(message.data(), 0) & Layout::kComplexBit, 0u);
  EXPECT_EQ(Layout::read32(message.data(), Layout::kDescriptorCountOffset), 1u);
  EXPECT_EQ(Layout::read32(message.data(), Layout::kFlagsOffset), 0x01000100u);
  EXPECT_EQ(Layout::read32(message.data(), Layout::kSizeOffset), 4097u);
  // An empty in-line body reads as none; an over-long length is capped.
  std::fill(message.begin(), message.end(), 0);
  EXPECT_EQ(Layout::getData(message.data()), nullptr);
  EXPECT_EQ(Layout::getDataLength(message.data()), 0u);
  Layout::write32(message.data(), Layout::kInlineLengthOffset, 5000);
  EXPECT_EQ(Layout::getDataLength(message.data()), Layout::kMaxReportedInlineLength);
}

TEST(MessageLayout, BodiesOn32BitLayout) {
  checkBodies<LMLayout32>();
  EXPECT_EQ(LMLayout32::kMaxReportedInlineLength, 4104u);
}
TEST(MessageLayout, BodiesOn64BitLayout) {
  checkBodies<LMLayout64>();
  EXPECT_EQ(LMLayout64::kMaxReportedInlineLength, 4108u);
}

}  // namespace
