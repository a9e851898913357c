// The render hook's capture rules, driven with hand-made renders. The main queue is replaced by a
// counter (dispatch_async is interposed in this binary), so "sent" means "a send was queued".

#include <dispatch/dispatch.h>
#include <gtest/gtest.h>
#include <servers/bootstrap.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "TempDevice.h"
#include "Vellamor2/MediaServerHooks.h"

using namespace MediaServerHooks;

namespace {

int queuedSends = 0;
int realRenders = 0;

OSStatus fakeRender(AudioUnit, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                    AudioBufferList*) {
  ++realRenders;
  return -1234;  // handed back unchanged
}

}  // namespace

// Interposes the platform's dispatch_async for the tweak library.
void dispatch_async(dispatch_queue_t, dispatch_block_t block) {
  if (block == &sendAudioData) ++queuedSends;
}

namespace {

// A render of `buffers` buffers of `channels` channels each, filled with recognisable samples.
struct Render {
  Render(UInt32 buffers, UInt32 frames, UInt32 channels = 1)
      : storage(AudioBufferListSize(buffers == 0 ? 1 : buffers)), frames(frames) {
    list = reinterpret_cast<AudioBufferList*>(storage.data());
    list->mNumberBuffers = buffers;
    samples.resize(buffers);
    for (UInt32 b = 0; b < buffers; ++b) {
      samples[b].resize(std::size_t(frames) * channels);
      for (std::size_t i = 0; i < samples[b].size(); ++i) samples[b][i] = float(b * 100000 + i);
      list->mBuffers[b] = {channels, UInt32(samples[b].size() * sizeof(float)), samples[b].data()};
    }
  }
  OSStatus run(Float64 sampleTime, AudioUnitRenderActionFlags flags = 0) {
    AudioTimeStamp stamp{};
    stamp.mSampleTime = sampleTime;
    return newAUR(nullptr, &flags, &stamp, 0, frames, list);
  }

  std::vector<unsigned char> storage;
  std::vector<std::vector<float>> samples;
  AudioBufferList* list;
  UInt32 frames;
};

class CaptureHook : public ::testing::Test {
 protected:
  void SetUp() override {
    oldAUR = &fakeRender;
    mediaServerState = {};
    std::memset(&mediaServerAudioData, 0, sizeof mediaServerAudioData);
    queuedSends = 0;
    realRenders = 0;
  }
  void TearDown() override { oldAUR = nullptr; }
};

TEST_F(CaptureHook, CapturesAStereoRenderAndQueuesOneSend) {
  Render render(2, 512);
  EXPECT_EQ(render.run(100), -1234);
  EXPECT_EQ(realRenders, 1);
  EXPECT_EQ(queuedSends, 1);
  EXPECT_EQ(mediaServerState.lastSampleTime, 100);
  EXPECT_EQ(mediaServerAudioData.numberBuffers, 2);
  EXPECT_EQ(mediaServerAudioData.numberFrames, 512);
  EXPECT_EQ(mediaServerAudioData.sampleTime, 100);
  EXPECT_EQ(0, std::memcmp(mediaServerAudioData.data[0], render.samples[0].data(), 512 * 4));
  EXPECT_EQ(0, std::memcmp(mediaServerAudioData.data[1], render.samples[1].data(), 512 * 4));
}

struct SkippedRender {
  const char* name;
  UInt32 buffers;
  UInt32 channels;
  AudioUnitRenderActionFlags flags;
};

class SkippedRenders : public CaptureHook, public ::testing::WithParamInterface<SkippedRender> {};

TEST_P(SkippedRenders, LeaveTheStateAndPacketAsTheyWere) {
  mediaServerState.lastSampleTime = 50;
  Render render(GetParam().buffers, 256, GetParam().channels);
  EXPECT_EQ(render.run(100, GetParam().flags), -1234);
  EXPECT_EQ(realRenders, 1);
  EXPECT_EQ(queuedSends, 0);
  EXPECT_EQ(mediaServerState.lastSampleTime, 50);
  EXPECT_EQ(mediaServerAudioData.numberFrames, 0);
}

INSTANTIATE_TEST_SUITE_P(Capture, SkippedRenders,
                         ::testing::Values(SkippedRender{"Silent", 2, 1,
                                                         kAudioUnitRenderAction_OutputIsSilence},
                                           SkippedRender{"SilentAmongOtherFlags", 2, 1,
                                                         kAudioUnitRenderAction_OutputIsSilence |
                                                             kAudioUnitRenderAction_PostRender},
                                           SkippedRender{"NoBuffers", 0, 1, 0},
                                           SkippedRender{"InterleavedStereo", 1, 2, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureHook, MonoCarriesOneChannelAndThreeBuffersCarryTheFirstTwo) {
  std::memset(mediaServerAudioData.data[1], 0x7f, sizeof mediaServerAudioData.data[1]);
  Render mono(1, 128);
  mono.run(1);
  EXPECT_EQ(mediaServerAudioData.numberBuffers, 1);
  EXPECT_EQ(0, std::memcmp(mediaServerAudioData.data[0], mono.samples[0].data(), 128 * 4));
  EXPECT_EQ(reinterpret_cast<unsigned char*>(mediaServerAudioData.data[1])[0], 0x7f);

  Render three(3, 128);
  three.run(2);
  EXPECT_EQ(mediaServerAudioData.numberBuffers, 2);
  EXPECT_EQ(0, std::memcmp(mediaServerAudioData.data[1], three.samples[1].data(), 128 * 4));
  EXPECT_EQ(queuedSends, 2);
}

// Sample times in the order they render, and whether each is captured.
struct Timeline {
  const char* name;
  std::vector<Float64> times;
  std::vector<bool> captured;
};

class SampleTimes : public CaptureHook, public ::testing::WithParamInterface<Timeline> {};

TEST_P(SampleTimes, OnlyStrictlyRisingTimesAreCaptured) {
  Render render(2, 64);
  int expectedSends = 0;
  for (std::size_t i = 0; i < GetParam().times.size(); ++i) {
    const Float64 before = mediaServerState.lastSampleTime;
    render.run(GetParam().times[i]);
    if (GetParam().captured[i]) ++expectedSends;
    EXPECT_EQ(queuedSends, expectedSends) << "render " << i;
    EXPECT_EQ(mediaServerState.lastSampleTime,
              GetParam().captured[i] ? GetParam().times[i] : before)
        << "render " << i;
  }
}

constexpr Float64 kNaN = std::numeric_limits<Float64>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Capture, SampleTimes,
    ::testing::Values(Timeline{"Equal", {10, 10}, {true, false}},
                      Timeline{"Falling", {10, 5}, {true, false}},
                      Timeline{"ZeroAtStart", {0, 1}, {false, true}},
                      Timeline{"RestartedTimeline",
                               {1000000, 0, 512, 999999, 1000000, 1000001},
                               {true, false, false, false, false, true}},
                      Timeline{"NotANumber", {kNaN, 10, kNaN, 11}, {false, true, false, true}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureHook, ABlankedScreenStopsCaptureAndZeroResumesIt) {
  Render render(2, 64);
  render.run(1);
  std::atomic_ref<std::uint64_t>(mediaServerState.screenState).store(1);
  render.run(2);
  render.run(3);
  EXPECT_EQ(queuedSends, 1);
  EXPECT_EQ(mediaServerState.lastSampleTime, 1);
  std::atomic_ref<std::uint64_t>(mediaServerState.screenState).store(7);  // any non-zero
  render.run(4);
  EXPECT_EQ(queuedSends, 1);
  std::atomic_ref<std::uint64_t>(mediaServerState.screenState).store(0);
  render.run(5);
  EXPECT_EQ(queuedSends, 2);
  EXPECT_EQ(mediaServerState.lastSampleTime, 5);
}

// A render longer than the packet copies its first 4,096 frames and says so, never more.
TEST_F(CaptureHook, LongRendersNeverOverrunThePacket) {
  for (UInt32 frames : {4095u, 4096u, 4097u, 16384u}) {
    Render render(2, frames);
    render.run(frames);
    const UInt32 kept = frames < 4096 ? frames : 4096;
    EXPECT_EQ(mediaServerAudioData.numberFrames, int(kept)) << frames;
    EXPECT_EQ(mediaServerAudioData.data[1][kept - 1], render.samples[1][kept - 1]) << frames;
    // The first channel's copy ended at its own end: channel 1 starts with its own samples.
    EXPECT_EQ(mediaServerAudioData.data[1][0], render.samples[1][0]) << frames;
  }
}

// Renders that claim more frames than their buffers hold, or have no data, are not read.
TEST_F(CaptureHook, ShortOrMissingBuffersAndMissingRecordsAreNotRead) {
  Render shortBuffer(2, 256);
  shortBuffer.list->mBuffers[1].mDataByteSize = 255 * sizeof(float);
  shortBuffer.run(1);
  Render noData(1, 256);
  noData.list->mBuffers[0].mData = nullptr;
  noData.run(2);
  Render render(2, 256);
  AudioUnitRenderActionFlags flags = 0;
  AudioTimeStamp stamp{};
  stamp.mSampleTime = 3;
  EXPECT_EQ(newAUR(nullptr, nullptr, &stamp, 0, 256, render.list), -1234);
  EXPECT_EQ(newAUR(nullptr, &flags, nullptr, 0, 256, render.list), -1234);
  EXPECT_EQ(newAUR(nullptr, &flags, &stamp, 0, 256, nullptr), -1234);
  EXPECT_EQ(queuedSends, 0);
  EXPECT_EQ(mediaServerState.lastSampleTime, 0);
}

// Sends queued by renders that came faster than the main queue ran all find the newest packet:
// the service gets it once. Nobody answers here, so each send waits out its 50 ms.
TEST_F(CaptureHook, APacketGoesOnceHoweverManyQueuedSendsFindIt) {
  testing_support::TempDevice device;
  mach_port_t service = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &service), KERN_SUCCESS);
  mach_port_insert_right(mach_task_self(), service, service, MACH_MSG_TYPE_MAKE_SEND);
  ASSERT_EQ(bootstrap_register(0, connection.name, service), KERN_SUCCESS);
  Render render(2, 256);
  render.run(1);
  sendAudioData();
  sendAudioData();
  render.run(2);
  sendAudioData();
  int packets = 0;
  LMResponseBuffer buffer;
  while (mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, service,
                  0, MACH_PORT_NULL) == MACH_MSG_SUCCESS) {
    ++packets;
    LMResponseBufferFree(&buffer);
  }
  EXPECT_EQ(packets, 2);
}

TEST_F(CaptureHook, TheRenderedAudioIsLeftAlone) {
  Render render(2, 300);
  const auto before = render.samples;
  render.run(1);
  EXPECT_EQ(render.samples, before);
}

}  // namespace
