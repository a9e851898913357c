#pragma once
// Histories to draw a preview from: synthesised ones (deterministic: the same options give the
// same samples on every machine) and recorded ones (the raw image of a history record).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Vellamor2/WavePlotRecord.h"

namespace preview {

enum class Signal { tone, noise, silence, music };

struct SynthesisOptions {
  Signal signal = Signal::music;
  int channels = 2;             // 1 or 2
  int frames = 4096;            // frames per packet, 1 … 4096
  double amplitude = 0.8;       // peak of the signal, 0 … 1
  double frequency = 440.0;     // of the tone, in Hz
  double sampleRate = 44100.0;  // of the synthesised audio
  std::uint32_t seed = 1;       // of the noise
};

// "tone", "noise", "silence" or "music".
std::optional<Signal> signalNamed(std::string_view name);

// A zeroed record on the heap (it is 655,372 bytes).
std::unique_ptr<serverDataStruct> makeEmptyRecord();

// Fills the record's 20 packets per channel, oldest first, with the counts set. False with a
// reason when an option is out of range.
bool synthesiseHistory(serverDataStruct& record, const SynthesisOptions& options,
                       std::string* error);

// A history record from its raw image: exactly 655,372 bytes, with 1 or 2 channels and
// 1 … 4096 frames per packet. False with a reason otherwise.
bool parseHistoryRecord(std::span<const std::uint8_t> bytes, serverDataStruct& record,
                        std::string* error);

// Reads a recorded history file: exactly 655,372 bytes, with 1 or 2 channels and 1 … 4096
// frames per packet. False with a reason otherwise.
bool readHistoryFile(const std::string& path, serverDataStruct& record, std::string* error);
bool writeHistoryFile(const std::string& path, const serverDataStruct& record, std::string* error);

}  // namespace preview
