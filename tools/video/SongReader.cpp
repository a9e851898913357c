#include "SongReader.h"

#include <sndfile.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace video {
namespace {

// Rates outside this range are not audio a phone plays.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 384000;

class SndfileSong : public SongReader {
 public:
  SndfileSong(SNDFILE* file, SF_INFO info) : file_(file), info_(info) {}
  ~SndfileSong() override { sf_close(file_); }

  unsigned sampleRate() const override { return static_cast<unsigned>(info_.samplerate); }
  std::int64_t declaredFrames() const override { return info_.frames; }

  bool read(float* left, float* right, std::size_t frames, std::size_t* got) override {
    const auto channels = static_cast<std::size_t>(info_.channels);
    std::size_t done = 0;
    while (done < frames) {
      const std::size_t chunk = std::min<std::size_t>(frames - done, 4096);
      raw_.resize(chunk * channels);
      const sf_count_t read = sf_readf_float(file_, raw_.data(), static_cast<sf_count_t>(chunk));
      if (read < 0) return false;
      if (read == 0) break;
      for (sf_count_t i = 0; i < read; ++i) {
        const float* frame = &raw_[static_cast<std::size_t>(i) * channels];
        left[done + static_cast<std::size_t>(i)] = frame[0];
        right[done + static_cast<std::size_t>(i)] = channels > 1 ? frame[1] : frame[0];
      }
      done += static_cast<std::size_t>(read);
    }
    *got = done;
    return sf_error(file_) == SF_ERR_NO_ERROR;
  }

 private:
  SNDFILE* file_;
  SF_INFO info_;
  std::vector<float> raw_;
};

// Decodes the best audio stream, resampled to planar float stereo at the stream's own rate.
class FfmpegSong : public SongReader {
 public:
  ~FfmpegSong() override {
    swr_free(&resampler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
  }

  bool open(const std::string& path, std::string* error) {
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format_, nullptr) < 0) {
      *error = "not an audio file (neither libsndfile nor FFmpeg can read it)";
      return false;
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || codec == nullptr) {
      *error = stream_ == AVERROR_DECODER_NOT_FOUND
                   ? "its audio is in a format FFmpeg cannot decode"
                   : "not an audio file (it holds no audio)";
      return false;
    }
    const AVCodecParameters* parameters = format_->streams[stream_]->codecpar;
    if (parameters->sample_rate < kLowestRate || parameters->sample_rate > kHighestRate ||
        parameters->ch_layout.nb_channels < 1) {
      *error = "its audio declares no usable sample rate or channels";
      return false;
    }
    decoder_ = avcodec_alloc_context3(codec);
    if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_, parameters) < 0 ||
        avcodec_open2(decoder_, codec, nullptr) < 0) {
      *error = "its audio cannot be decoded";
      return false;
    }
    rate_ = decoder_->sample_rate;
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    const AVStream* stream = format_->streams[stream_];
    if (stream->duration > 0) {
      declared_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, rate_});
    } else if (format_->duration > 0) {
      declared_ = av_rescale_q(format_->duration, AV_TIME_BASE_Q, AVRational{1, rate_});
    }
    return packet_ != nullptr && frame_ != nullptr;
  }

  unsigned sampleRate() const override { return static_cast<unsigned>(rate_); }
  std::int64_t declaredFrames() const override { return declared_; }

  bool read(float* left, float* right, std::size_t frames, std::size_t* got) override {
    std::size_t done = 0;
    while (done < frames) {
      if (queued_ == taken_) {
        queued_ = taken_ = 0;
        if (!decodeMore()) return false;
        if (queued_ == 0) break;  // the end
      }
      const std::size_t n = std::min(frames - done, queued_ - taken_);
      std::copy_n(left_.begin() + static_cast<std::ptrdiff_t>(taken_), n, left + done);
      std::copy_n(right_.begin() + static_cast<std::ptrdiff_t>(taken_), n, right + done);
      taken_ += n;
      done += n;
    }
    *got = done;
    return true;
  }

 private:
  // Decodes until some frames are queued or the song ends; false on an error.
  bool decodeMore() {
    while (queued_ == 0 && !finished_) {
      const int received = avcodec_receive_frame(decoder_, frame_);
      if (received == 0) {
        if (!convert()) return false;
        continue;
      }
      if (received == AVERROR_EOF) {
        finished_ = true;
        break;
      }
      if (received != AVERROR(EAGAIN)) return false;
      const int readStatus = av_read_frame(format_, packet_);
      if (readStatus == AVERROR_EOF) {
        avcodec_send_packet(decoder_, nullptr);  // drains the decoder
        continue;
      }
      if (readStatus < 0) return false;
      if (packet_->stream_index == stream_) {
        const int sent = avcodec_send_packet(decoder_, packet_);
        // A damaged packet is skipped, as a player does.
        if (sent < 0 && sent != AVERROR_INVALIDDATA) {
          av_packet_unref(packet_);
          return false;
        }
      }
      av_packet_unref(packet_);
    }
    return true;
  }

  bool convert() {
    if (resampler_ == nullptr) {
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      AVChannelLayout input{};
      // Of a layout without order, the first two channels play as left and right.
      if (frame_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&input, frame_->ch_layout.nb_channels);
      else
        av_channel_layout_copy(&input, &frame_->ch_layout);
      if (swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_FLTP, rate_, &input,
                              static_cast<AVSampleFormat>(frame_->format), frame_->sample_rate, 0,
                              nullptr) < 0 ||
          swr_init(resampler_) < 0) {
        av_channel_layout_uninit(&input);
        return false;
      }
      av_channel_layout_uninit(&input);
    }
    const int capacity = swr_get_out_samples(resampler_, frame_->nb_samples);
    if (capacity < 0) return false;
    left_.resize(static_cast<std::size_t>(capacity));
    right_.resize(static_cast<std::size_t>(capacity));
    std::uint8_t* planes[2] = {reinterpret_cast<std::uint8_t*>(left_.data()),
                               reinterpret_cast<std::uint8_t*>(right_.data())};
    const int converted =
        swr_convert(resampler_, planes, capacity,
                    const_cast<const std::uint8_t**>(frame_->extended_data), frame_->nb_samples);
    av_frame_unref(frame_);
    if (converted < 0) return false;
    queued_ = static_cast<std::size_t>(converted);
    return true;
  }

  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwrContext* resampler_ = nullptr;
  int stream_ = -1;
  int rate_ = 0;
  std::int64_t declared_ = 0;
  bool finished_ = false;
  std::vector<float> left_, right_;
  std::size_t queued_ = 0;
  std::size_t taken_ = 0;
};

}  // namespace

std::unique_ptr<SongReader> SongReader::open(const std::string& path, std::string* error) {
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    *error = path + ": cannot be read (" + std::strerror(errno) + ")";
    return nullptr;
  }
  SF_INFO info{};
  if (SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info)) {
    if (info.channels >= 1 && info.samplerate >= kLowestRate && info.samplerate <= kHighestRate)
      return std::make_unique<SndfileSong>(file, info);
    sf_close(file);
    *error = path + ": its audio declares no usable sample rate or channels";
    return nullptr;
  }
  av_log_set_level(AV_LOG_QUIET);
  auto song = std::make_unique<FfmpegSong>();
  std::string reason;
  if (!song->open(path, &reason)) {
    *error = path + ": " + reason;
    return nullptr;
  }
  return song;
}

}  // namespace video
