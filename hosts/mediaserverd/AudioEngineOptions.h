#pragma once
// What the audio daemon renders, in what format and where to. Read from the daemon's command line
// and from VELLAMOR_MEDIASERVERD_OPTIONS (the same words, separated by spaces); the command line
// wins. Words that are not audio options are left to the host.
//
//   --audio-source synth|file|live   the built-in track (default), an audio file, or live capture
//   --audio-file PATH                play PATH (WAV, FLAC, OGG); implies --audio-source file
//   --live-device NAME               sound-server source to capture (default: the default monitor)
//   --frames N                       frames per render (default 1024; 512 and 4096 are usual)
//   --channels N                     channels (default 2), one buffer each unless --interleaved
//   --interleaved                    one buffer carrying every channel
//   --sample-rate N                  Hz (default 44100; a file plays at its own rate)
//   --output auto|pulse|null         the desktop's sound device if one answers, else a paced
//                                    null sink (auto, default); or only one of them
//   --unpaced                        the null sink takes buffers as fast as they come
//   --output-wav FILE                also write what the output receives (float WAV); the file
//                                    appears under its name once it is complete
//   --renders N                      stop rendering after N buffers (0: never)
//   --paused                         start paused (the control service's resume plays)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct AudioEngineOptions {
  enum class Source { Synthesised, File, Live };
  enum class Output { Automatic, Pulse, Null };

  Source source = Source::Synthesised;
  std::string filePath;
  std::string liveDevice;
  Output output = Output::Automatic;
  std::string outputWav;
  unsigned framesPerRender = 1024;
  unsigned channels = 2;
  bool interleaved = false;
  unsigned sampleRate = 44100;
  bool sampleRateGiven = false;
  bool paced = true;
  std::uint64_t renderLimit = 0;
  bool startPaused = false;
};

inline constexpr const char* kMediaServerOptionsVariable = "VELLAMOR_MEDIASERVERD_OPTIONS";
inline constexpr unsigned kMaximumFramesPerRender = 16384;
inline constexpr unsigned kMaximumChannels = 8;

// The options in `words`; nothing and a message in `error` for a bad value.
std::optional<AudioEngineOptions> parseAudioEngineOptions(const std::vector<std::string>& words,
                                                          std::string* error);

// The environment's words followed by the command line's.
std::optional<AudioEngineOptions> audioEngineOptionsFromProcess(int argc, char** argv,
                                                                std::string* error);
