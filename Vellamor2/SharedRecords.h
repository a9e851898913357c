#pragma once
// The records that travel over the audio service, and the service's names. Both records are raw
// memory images in native byte order; their layout is the same on every processor.

#include <cstddef>
#include <cstdint>

// The service identifier: Mach service name, preferences domain and prefix of the change
// notification at once. Stored zero-padded in 128-byte name fields, so at most 127 characters.
inline constexpr const char kVellamorServiceIdentifier[] = "org.vellamor2.service";
inline constexpr std::size_t kServiceNameLength = 128;
static_assert(sizeof(kVellamorServiceIdentifier) <= kServiceNameLength);

// Message ids in the Mach header's id field.
enum VellamorMessageId : int32_t {
  kAudioPacketMessageId = 1,      // audio daemon → SpringBoard: one packet, acknowledged by `okay`
  kHistorySnapshotMessageId = 2,  // app → SpringBoard: the whole history record in reply
  kPreferencesMessageId = 3,      // app → SpringBoard: the keyed archive of the settings
};

inline constexpr int kPacketCapacityFrames = 4096;
inline constexpr int kHistoryPackets = 20;
inline constexpr int kHistoryCapacitySamples = kHistoryPackets * kPacketCapacityFrames;  // 81,920

// One rendered buffer, as the audio daemon sends it (32,784 bytes).
struct mediaServerAudioDataStruct {
  float data[2][kPacketCapacityFrames];  // first numberFrames samples of each carried channel
  int32_t numberBuffers;                 // channels carried: 1 or 2
  int32_t numberFrames;                  // frames per channel, at most 4,096
  double sampleTime;                     // the render's sample time; the server ignores it
};

static_assert(sizeof(mediaServerAudioDataStruct) == 32784);
static_assert(offsetof(mediaServerAudioDataStruct, data) == 0);
static_assert(offsetof(mediaServerAudioDataStruct, data[1]) == 16384);
static_assert(offsetof(mediaServerAudioDataStruct, numberBuffers) == 32768);
static_assert(offsetof(mediaServerAudioDataStruct, numberFrames) == 32772);
static_assert(offsetof(mediaServerAudioDataStruct, sampleTime) == 32776);

// The last twenty packets of each channel, oldest first (655,372 bytes). The newest k packets of a
// channel are the k × numberFrames samples that begin at sample (20 − k) × numberFrames.
struct serverDataStruct {
  float data[2][kHistoryCapacitySamples];
  int32_t numberBuffers;  // of the latest packet
  int32_t numberFrames;   // of the latest packet
  bool busy;              // true while the server merges a packet; nobody reads it
};

static_assert(sizeof(serverDataStruct) == 655372);
static_assert(alignof(serverDataStruct) == 4);
static_assert(offsetof(serverDataStruct, data) == 0);
static_assert(offsetof(serverDataStruct, data[1]) == 327680);
static_assert(offsetof(serverDataStruct, numberBuffers) == 655360);
static_assert(offsetof(serverDataStruct, numberFrames) == 655364);
static_assert(offsetof(serverDataStruct, busy) == 655368);

// The 4-byte zero bodies: `blankmsg` of requests 2 and 3, `okay` of message 1's acknowledgement.
inline constexpr int32_t blankmsg = 0;
inline constexpr int32_t okay = 0;
