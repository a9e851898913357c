// The message layouts of both pointer widths: sizes, bodies as built, and what the getters
// believe of a message.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "Vellamor2/Messaging/LMLayout.h"

namespace {

struct SizeCase {
  int pointerBits;
  uint32_t length;
  uint32_t expected;
};

class BufferSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(BufferSizeTest, MatchesTheLayout) {
  const SizeCase c = GetParam();
  const uint32_t size = c.pointerBits == 32 ? LMLayout32::bufferSizeForLength(c.length)
                                            : LMLayout64::bufferSizeForLength(c.length);
  EXPECT_EQ(size, c.expected);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, BufferSizeTest,
                         testing::Values(SizeCase{32, 0, 40}, SizeCase{32, 1, 44},
                                         SizeCase{32, 4, 44}, SizeCase{32, 5, 48},
                                         SizeCase{32, 4096, 4136}, SizeCase{32, 4097, 40},
                                         SizeCase{64, 0, 44}, SizeCase{64, 4, 48},
                                         SizeCase{64, 4095, 4140}, SizeCase{64, 4096, 4140},
                                         SizeCase{64, 4097, 44}, SizeCase{64, 655372, 44}));

// A message buffer of the largest size either layout builds, header size already set as the
// transport sets it before assigning the body.
struct Buffer {
  alignas(8) std::array<uint8_t, 4208> bytes{};
  template <class Layout>
  void prepare(uint32_t length, uint32_t bits) {
    bytes.fill(0xee);
    Layout::write32(bytes.data(), 0, bits);
    Layout::write32(bytes.data(), 4, Layout::bufferSizeForLength(length));
  }
  void* data() { return bytes.data(); }
};

template <class Layout>
class LayoutBodyTest : public testing::Test {};
using Layouts = testing::Types<LMLayout32, LMLayout64>;
TYPED_TEST_SUITE(LayoutBodyTest, Layouts);

TYPED_TEST(LayoutBodyTest, InlineBodyIsCopiedWithoutDescriptor) {
  using L = TypeParam;
  Buffer buffer;
  const char body[] = "abcdefghij";
  buffer.prepare<L>(sizeof body, 0x1513);
  L::assignData(buffer.data(), body, sizeof body);
  EXPECT_EQ(L::read32(buffer.data(), 0), 0x1513u) << "an in-line body leaves the bits alone";
  EXPECT_EQ(L::read32(buffer.data(), L::kDescriptorCountOffset), 0u);
  EXPECT_EQ(L::read32(buffer.data(), L::kInlineLengthOffset), sizeof body);
  ASSERT_EQ(L::getData(buffer.data()), buffer.bytes.data() + L::kInlineBytesOffset);
  EXPECT_EQ(L::getDataLength(buffer.data()), sizeof body);
  EXPECT_EQ(std::memcmp(L::getData(buffer.data()), body, sizeof body), 0);
}

// Whatever the buffer held before, every byte after the body up to the header size is zero:
// the whole header size goes on the wire.
TYPED_TEST(LayoutBodyTest, FillAfterAnInlineBodyIsZero) {
  using L = TypeParam;
  const char body[16] = "fifteen bytes..";
  for (uint32_t length = 1; length <= sizeof body; ++length) {
    Buffer buffer;
    buffer.prepare<L>(length, 0x1513);
    L::assignData(buffer.data(), body, length);
    const uint32_t size = L::read32(buffer.data(), 4);
    for (uint32_t at = L::kInlineBytesOffset + length; at < size; ++at)
      ASSERT_EQ(buffer.bytes[at], 0) << "length " << length << ", byte " << at;
  }
}

TYPED_TEST(LayoutBodyTest, LargeBodyBecomesOneVirtualCopyDescriptor) {
  using L = TypeParam;
  Buffer buffer;
  static uint8_t body[5000];
  buffer.prepare<L>(sizeof body, 0x12);
  L::assignData(buffer.data(), body, sizeof body);
  EXPECT_EQ(L::read32(buffer.data(), 4), L::kBareSize);
  EXPECT_EQ(L::read32(buffer.data(), 0), 0x80000012u);
  EXPECT_EQ(L::read32(buffer.data(), L::kDescriptorCountOffset), 1u);
  const uint32_t flags = L::read32(buffer.data(), L::kFlagsOffset);
  EXPECT_EQ(flags, 0x01000100u);
  EXPECT_EQ(flags >> 24, 1u) << "type: out-of-line";
  EXPECT_EQ((flags >> 8) & 0xff, 1u) << "copy: virtual";
  EXPECT_EQ(flags & 0xff, 0u) << "the sender keeps its memory";
  EXPECT_EQ(L::read32(buffer.data(), L::kSizeOffset), sizeof body);
  EXPECT_EQ(L::readAddress(buffer.data()),
            static_cast<uintptr_t>(reinterpret_cast<uintptr_t>(body) &
                                   (L::kAddressSize == 4 ? 0xffffffffu : ~uintptr_t{0})));
  if constexpr (L::kAddressSize == 8) {
    EXPECT_EQ(L::getData(buffer.data()), body);
  }
  EXPECT_EQ(L::getDataLength(buffer.data()), sizeof body);
}

TYPED_TEST(LayoutBodyTest, EmptyBodyReadsAsNothing) {
  using L = TypeParam;
  Buffer buffer;
  buffer.prepare<L>(0, 0x1513);
  L::assignData(buffer.data(), nullptr, 0);
  EXPECT_EQ(L::getData(buffer.data()), nullptr);
  EXPECT_EQ(L::getDataLength(buffer.data()), 0u);
}

TYPED_TEST(LayoutBodyTest, OverLongInlineLengthIsCappedAtTheLargestMessage) {
  using L = TypeParam;
  Buffer buffer;
  buffer.prepare<L>(16, 0x12);
  L::write32(buffer.data(), L::kDescriptorCountOffset, 0);
  L::write32(buffer.data(), L::kInlineLengthOffset, 5000);
  EXPECT_EQ(L::getDataLength(buffer.data()), L::kMaxReportedInlineLength);
  EXPECT_EQ(L::getDataLength(buffer.data()), L::kAddressSize == 4 ? 4104u : 4108u);
}

// A plain message that only claims a descriptor must not make the reader follow its address.
TYPED_TEST(LayoutBodyTest, DescriptorWithoutComplexBitIsNoBody) {
  using L = TypeParam;
  Buffer buffer;
  static uint8_t body[8000];
  buffer.prepare<L>(sizeof body, 0x12);
  L::assignOutOfLine(buffer.data(), body, sizeof body);
  L::write32(buffer.data(), 0, L::read32(buffer.data(), 0) & ~L::kComplexBit);
  EXPECT_EQ(L::getData(buffer.data()), nullptr);
  EXPECT_EQ(L::getDataLength(buffer.data()), 0u);
}

}  // namespace
