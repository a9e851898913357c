#include "SynthesisedTrack.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeatsPerSecond = 2.0;
constexpr int kBarsInLoop = 16;

// Chord roots (MIDI notes) by bar, A minor, F, C, G, and the third of each.
constexpr int kChordRoots[4] = {57, 53, 60, 55};
constexpr int kThirds[4] = {3, 4, 4, 4};

double noteFrequency(int midi) {
  return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

// Deterministic white noise in [-1, 1] for a frame.
double noise(std::uint64_t frame) {
  std::uint64_t x = frame * 0x9E3779B97F4A7C15ull;
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  return static_cast<double>(x >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

double decay(double secondsSinceHit, double rate) {
  return secondsSinceHit < 0 ? 0.0 : std::exp(-secondsSinceHit * rate);
}

}  // namespace

AudioTrack SynthesisedTrack::track() const {
  const auto framesPerBar = static_cast<std::uint64_t>(sampleRate_ / kBeatsPerSecond) * 4;
  return {"Dusk Loop", "Vellamor2", framesPerBar * kBarsInLoop};
}

void SynthesisedTrack::sampleAt(std::uint64_t frame, float* left, float* right) const {
  const double rate = sampleRate_;
  const std::uint64_t framesPerBeat = static_cast<std::uint64_t>(rate / kBeatsPerSecond);
  const std::uint64_t framesPerBar = framesPerBeat * 4;
  const std::uint64_t bar = (frame / framesPerBar) % kBarsInLoop;
  const double t = static_cast<double>(frame) / rate;
  const double inBeat = static_cast<double>(frame % framesPerBeat) / rate;
  const double inEighth = static_cast<double>(frame % (framesPerBeat / 2)) / rate;
  const double inBar = static_cast<double>(frame % framesPerBar) / rate;
  const unsigned beat = static_cast<unsigned>((frame / framesPerBeat) % 4);

  // Bars 12 to 14 are the breakdown (soft chords), bar 15 nearly silent.
  const bool breakdown = bar >= 12 && bar <= 14;
  const bool hush = bar == 15;
  const int chord = static_cast<int>(bar % 4);
  const int root = kChordRoots[chord];

  // Chords: a triad of soft sines with a slow swell over the bar.
  double chords = 0;
  const int notes[3] = {root, root + kThirds[chord], root + 7};
  for (int i = 0; i < 3; ++i) {
    chords += std::sin(2 * kPi * noteFrequency(notes[i]) * t) +
              0.3 * std::sin(2 * kPi * noteFrequency(notes[i] + 12) * t * 1.002);
  }
  const double swell = 1.0 - 0.5 * std::exp(-inBar * 3.0);
  chords *= 0.06 * swell;

  double bass = 0, kick = 0, snare = 0, hat = 0;
  if (!breakdown && !hush) {
    // Bass: eighth notes on the chord's root, two octaves down, a few harmonics.
    const double f = noteFrequency(root - 24);
    const double envelope = decay(inEighth, 6.0);
    for (int h = 1; h <= 4; ++h) bass += std::sin(2 * kPi * f * h * t) / h;
    bass *= 0.28 * envelope;
    // Kick on beats 1 and 3: a falling sine.
    if (beat == 0 || beat == 2) {
      const double sweep = 50.0 + 100.0 * std::exp(-inBeat * 30.0);
      kick = 0.6 * std::sin(2 * kPi * sweep * inBeat) * decay(inBeat, 9.0);
    }
    // Snare on beats 2 and 4: noise with a tone.
    if (beat == 1 || beat == 3) {
      snare =
          (0.3 * noise(frame) + 0.15 * std::sin(2 * kPi * 190.0 * inBeat)) * decay(inBeat, 14.0);
    }
    // Hi-hat on every eighth: short noise bursts.
    hat = 0.12 * noise(frame + 7919) * decay(inEighth, 60.0);
  }
  if (breakdown) chords *= 0.5;
  if (hush) chords *= 0.02;

  const double mid = bass + kick + snare;
  *left = static_cast<float>(mid + chords * 1.1 + hat * 0.6);
  *right = static_cast<float>(mid + chords * 0.9 + hat * 1.0);
}

bool SynthesisedTrack::pull(float* left, float* right, unsigned frames) {
  for (unsigned i = 0; i < frames; ++i) sampleAt(position_ + i, &left[i], &right[i]);
  position_ += frames;
  return true;
}
