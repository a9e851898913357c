// `vellamor video` run as a program on short generated songs; what it writes is read back with
// FFmpeg's libraries and its frames are compared with what `vellamor render` draws.

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AllocationCount.h"
#include "ChildProcess.h"
#include "ColorFlow/ArtworkPalette.h"
#include "Renderer/ImageComparison.h"
#include "SettingsText.h"
#include "SongCapture.h"
#include "SongReader.h"
#include "TempDevice.h"
#include "TickDrawing.h"
#include "VideoEncoder.h"
#include "VideoScene.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;

// A stereo 16-bit WAV of `seconds`, sample i of both channels being value(i / rate).
void writeSong(const fs::path& path, double seconds, const std::function<double(double)>& value) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  const auto frames = static_cast<std::size_t>(std::lround(seconds * kRate));
  std::vector<float> samples(frames * 2);
  for (std::size_t i = 0; i < frames; ++i)
    samples[2 * i] = samples[2 * i + 1] = static_cast<float>(value(double(i) / kRate));
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
}

double tone(double t) {
  return 0.6 * std::sin(2 * std::numbers::pi * 440.0 * t);
}

struct Streams {
  int video = 0;
  int audio = 0;
  std::string videoCodec, audioCodec;
  int pictures = 0;
  double audioSeconds = 0;
  // When the first picture shows and the song's first sample sounds, the priming that the
  // container tells the decoder to skip (its codec delay, or a first packet's skip) left out.
  double pictureStart = 0, soundStart = 0;
  // When the song's last sample ends: the last packet's end, its padding (the container's
  // discard) left out.
  double soundEnd = 0;
  std::optional<render::Image> picture;  // the one asked for
};

// The file's streams, its pictures counted and picture `wanted` decoded to RGBA.
Streams readBack(const fs::path& path, int wanted) {
  Streams found;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return found;
  avformat_find_stream_info(format, nullptr);
  int videoIndex = -1;
  AVCodecContext* decoder = nullptr;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* parameters = format->streams[i]->codecpar;
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO) {
      ++found.video;
      videoIndex = static_cast<int>(i);
      found.videoCodec = avcodec_get_name(parameters->codec_id);
      const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
      decoder = avcodec_alloc_context3(codec);
      avcodec_parameters_to_context(decoder, parameters);
      avcodec_open2(decoder, codec, nullptr);
    } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++found.audio;
      found.audioCodec = avcodec_get_name(parameters->codec_id);
    }
    if (parameters->codec_type == AVMEDIA_TYPE_VIDEO)
      found.pictureStart = static_cast<double>(format->streams[i]->start_time) *
                           av_q2d(format->streams[i]->time_base);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int decoded = 0;
  auto receive = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      if (decoded++ == wanted) {
        render::Image image(frame->width, frame->height);
        SwsContext* converter = sws_getContext(
            frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
            frame->height, AV_PIX_FMT_RGBA, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
            nullptr, nullptr, nullptr);
        std::uint8_t* target[1] = {image.rgba.data()};
        const int stride[1] = {frame->width * 4};
        sws_scale(converter, frame->data, frame->linesize, 0, frame->height, target, stride);
        sws_freeContext(converter);
        found.picture = std::move(image);
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    const AVStream* stream = format->streams[packet->stream_index];
    if (packet->stream_index == videoIndex) {
      ++found.pictures;
      avcodec_send_packet(decoder, packet);
      receive();
    } else if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      // Samples the container tells the decoder to skip: from the start (at `offset` 0) and
      // from the end (at 4) of this packet.
      std::size_t size = 0;
      const std::uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
      auto skipped = [&](std::size_t offset) {
        const std::uint8_t* at = skip + offset;
        return skip != nullptr && size >= offset + 4
                   ? static_cast<double>(at[0] | at[1] << 8 | at[2] << 16 | at[3] << 24) /
                         stream->codecpar->sample_rate
                   : -1.0;
      };
      const double time = av_q2d(stream->time_base);
      if (found.audioSeconds == 0) {  // the first packet, and the priming skipped from it
        const double priming = skipped(0);
        found.soundStart = static_cast<double>(packet->pts) * time +
                           (priming >= 0 ? priming
                                         : static_cast<double>(stream->codecpar->initial_padding) /
                                               stream->codecpar->sample_rate);
      }
      found.audioSeconds += static_cast<double>(packet->duration) * time;
      found.soundEnd =
          static_cast<double>(packet->pts + packet->duration) * time - std::max(skipped(4), 0.0);
    }
    av_packet_unref(packet);
  }
  if (decoder != nullptr) {
    avcodec_send_packet(decoder, nullptr);
    receive();
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
  return found;
}

class VideoCommand : public ::testing::Test {
 protected:
  // Runs `vellamor` with `arguments`; its exit status, and what it printed into `output`.
  int run(std::vector<std::string> arguments, std::string* output = nullptr) {
    const auto log = device.path() / "vellamor.log";
    const int code =
        testing_support::runProgram(testing_support::binaryDirectory() / "bin" / "vellamor",
                                    arguments, log, output, std::chrono::seconds(120));
    fs::remove(log);
    return code;
  }
  std::string path(const char* name) const { return (device.path() / name).string(); }
  // The frame `vellamor render` draws from the history that `history` names, at the size of a
  // 160-pixel video.
  std::optional<render::Image> rendered(const std::vector<std::string>& history) {
    std::vector<std::string> arguments = {"render",  "--width", "320",   "--height",        "320",
                                          "--scale", "0.5",     "--out", path("render.png")};
    arguments.insert(arguments.end(), history.begin(), history.end());
    if (run(arguments) != 0) return std::nullopt;
    return render::readPng(path("render.png"));
  }
  testing_support::TempDevice device;
};

class VideoFormats : public VideoCommand, public ::testing::WithParamInterface<const char*> {};

TEST_P(VideoFormats, ToneBecomesOneVideoAndOneAudioStreamOfTheSongsLength) {
  writeSong(path("tone.wav"), 2.0, tone);
  const std::string out = path("tone.") + GetParam();
  ASSERT_EQ(run({"video", path("tone.wav"), "--out", out, "--size", "96"}), 0);
  const Streams streams = readBack(out, 0);
  EXPECT_EQ(streams.video, 1);
  EXPECT_EQ(streams.audio, 1);
  EXPECT_EQ(streams.videoCodec, std::string(GetParam()) == "mp4" ? "h264" : "vp9");
  EXPECT_EQ(streams.audioCodec, std::string(GetParam()) == "mp4" ? "aac" : "opus");
  EXPECT_EQ(streams.pictures, 60);
  EXPECT_NEAR(streams.audioSeconds, 2.0, 1.0 / 30);
  EXPECT_NEAR(streams.pictureStart, 0, 0.001);
  EXPECT_NEAR(streams.soundStart, 0, 0.001) << "the song starts with the first picture";
  EXPECT_NEAR(streams.soundEnd, 2.0, 0.001) << "the audio ends with the song";
}

INSTANTIATE_TEST_SUITE_P(Video, VideoFormats, ::testing::Values("mp4", "webm"));

TEST_F(VideoCommand, FrameAtATimeIsWhatRenderDrawsFromTheHistoryUpToThen) {
  writeSong(path("tone.wav"), 2.0, tone);
  ASSERT_EQ(
      run({"video", path("tone.wav"), "--out", path("tone.mp4"), "--size", "160", "--lossless"}),
      0);
  const Streams streams = readBack(path("tone.mp4"), 45);
  ASSERT_TRUE(streams.picture);
  const auto expected = rendered({"--audio", path("tone.wav"), "--at", "1.5"});
  ASSERT_TRUE(expected);
  const auto comparison = render::compareImages(*streams.picture, *expected, {});
  EXPECT_TRUE(comparison.matches) << comparison.message;
}

TEST_F(VideoCommand, SilentPassageDrawsWhatASilentHistoryDraws) {
  // Half a second of tone, then silence: by the last tick the history holds only silence.
  writeSong(path("fade.wav"), 2.0, [](double t) { return t < 0.5 ? tone(t) : 0.0; });
  ASSERT_EQ(
      run({"video", path("fade.wav"), "--out", path("fade.mp4"), "--size", "160", "--lossless"}),
      0);
  const Streams streams = readBack(path("fade.mp4"), 59);
  ASSERT_TRUE(streams.picture);
  const auto expected = rendered({"--signal", "silence", "--frames-per-packet", "1024"});
  ASSERT_TRUE(expected);
  const auto comparison = render::compareImages(*streams.picture, *expected, {});
  EXPECT_TRUE(comparison.matches) << comparison.message;
}

TEST_F(VideoCommand, ColourMethodTwoDrawsInTheArtworksPalette) {
  writeSong(path("quiet.wav"), 1.0, [](double) { return 0.0; });
  render::Image artwork(64, 64);  // red above, blue below
  for (std::size_t i = 0; i < 64 * 64; ++i) {
    const bool top = i < 32 * 64;
    const std::uint8_t pixel[4] = {std::uint8_t(top ? 220 : 30), 30, std::uint8_t(top ? 30 : 220),
                                   255};
    std::copy_n(pixel, 4, artwork.rgba.begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  ASSERT_TRUE(render::writePng(artwork, path("artwork.png")));
  ASSERT_EQ(run({"video", path("quiet.wav"), "--artwork", path("artwork.png"), "--out",
                 path("colours.mp4"), "--size", "320", "--lossless", "ColourMethod=2",
                 "WaveThickness=6", "PrimaryColourAlpha=1"}),
            0);
  const auto palette = colorflow::paletteFromArtwork(artwork.rgba.data(), 64, 64, 64 * 4);
  ASSERT_TRUE(palette);
  const Streams streams = readBack(path("colours.mp4"), 15);
  ASSERT_TRUE(streams.picture);
  // A silent history draws channel 0 flat across three quarters of the height.
  const auto line = streams.picture->pixel(160, 240);
  EXPECT_NEAR(line[0], palette->primary.red * 255, 6);
  EXPECT_NEAR(line[1], palette->primary.green * 255, 6);
  EXPECT_NEAR(line[2], palette->primary.blue * 255, 6);
}

// The pool's pictures are made once: a video of many ticks allocates no picture per tick.
TEST_F(VideoCommand, PicturesAreRecycledHoweverManyTicks) {
  av_log_set_level(AV_LOG_ERROR);
  writeSong(path("tone.wav"), 4.0, tone);
  std::string error;
  auto song = video::SongReader::open(path("tone.wav"), &error);
  ASSERT_TRUE(song) << error;
  video::SongCapture capture(*song);
  ASSERT_TRUE(capture.renderUpTo(0));
  const auto settings = preview::settingsFromAssignments({}, &error);
  video::VideoScene scene = video::makeVideoScene(video::Screen::artwork, 50, {}, settings.get());
  video::EncoderSettings encoding;
  encoding.width = scene.width;
  encoding.height = scene.height;
  video::VideoEncoder encoder;
  ASSERT_TRUE(encoder.open(path("tone.mp4"), encoding, &error)) << error;
  const std::atomic<bool> stop{false};
  testing_support::watchAllocationsOf(static_cast<std::size_t>(scene.width * scene.height * 4));
  const auto outcome = video::drawAndEncode(capture, scene, encoder, kRate, stop, [](int) {});
  const int picturesAllocated = testing_support::stopWatchingAllocations();
  EXPECT_EQ(outcome.ending, video::TickOutcome::Ending::complete);
  EXPECT_EQ(outcome.ticks, 120);
  EXPECT_LE(picturesAllocated, static_cast<int>(video::kPicturesInFlight));
}

struct BadRun {
  const char* name;
  const char* song;  // "tone", "empty" or "text"
  const char* out;
  const char* mentioned;
};

class BadRuns : public VideoCommand, public ::testing::WithParamInterface<BadRun> {};

TEST_P(BadRuns, SayWhatIsWrongInOneLineAndWriteNothing) {
  writeSong(path("tone.wav"), 0.2, tone);
  writeSong(path("empty.wav"), 0.0, tone);
  std::ofstream(path("text.wav")) << "not a song\n";
  const std::set<fs::path> before(fs::directory_iterator(device.path()), {});
  const std::string song = path((std::string(GetParam().song) + ".wav").c_str());
  const std::string out = (device.path() / GetParam().out).string();
  std::string output;
  EXPECT_NE(run({"video", song, "--out", out}, &output), 0);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  EXPECT_NE(output.find(GetParam().mentioned), std::string::npos) << output;
  const std::set<fs::path> after(fs::directory_iterator(device.path()), {});
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    Video, BadRuns,
    ::testing::Values(BadRun{"NotAudio", "text", "out.mp4", "text.wav: not an audio file"},
                      BadRun{"UnknownFormat", "tone", "out.avi", "unknown format 'avi'"},
                      BadRun{"UnwritableOutput", "tone", "tone.wav/out.mp4", "cannot be written"},
                      BadRun{"EmptySong", "empty", "out.mp4", "empty.wav: the song is empty"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VideoCommand, InterruptedRunLeavesNoFileBehind) {
  writeSong(path("long.wav"), 60.0, tone);
  const std::set<fs::path> before(fs::directory_iterator(device.path()), {});
  testing_support::ChildProcess child(
      testing_support::binaryDirectory() / "bin" / "vellamor",
      {"video", path("long.wav"), "--out", path("long.mp4"), "--size", "64"}, {},
      device.path() / "vellamor.log");
  // Interrupted while the partial file is being written.
  ASSERT_TRUE(testing_support::waitFor([&] {
    for (const auto& entry : fs::directory_iterator(device.path()))
      if (entry.path().filename().string().starts_with(".long.mp4.part")) return true;
    return false;
  }));
  child.signal(SIGINT);
  const auto status = child.wait(std::chrono::seconds(60));
  ASSERT_TRUE(status && WIFEXITED(*status));
  EXPECT_NE(WEXITSTATUS(*status), 0);
  fs::remove(device.path() / "vellamor.log");
  const std::set<fs::path> after(fs::directory_iterator(device.path()), {});
  EXPECT_EQ(after, before);
}

}  // namespace
