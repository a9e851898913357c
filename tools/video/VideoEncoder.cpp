#include "VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <vector>

namespace video {
namespace {

constexpr AVRational kPictureTime{1, 30};

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

struct VideoEncoder::State {
  AVFormatContext* format = nullptr;
  AVCodecContext* pictures = nullptr;
  AVCodecContext* sound = nullptr;
  AVStream* pictureStream = nullptr;
  AVStream* soundStream = nullptr;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* soundFrame = nullptr;
  AVPacket* packet = nullptr;
  std::vector<std::uint8_t*> converted;  // resampler output planes
  std::vector<std::vector<std::uint8_t>> convertedStorage;
  std::int64_t nextPicture = 0;
  std::int64_t nextSample = 0;
  // Where the song's first sample is stamped. The encoder's priming (its initial padding) comes
  // before it. MP4 takes the priming at negative times and trims it with an edit list; WebM
  // stores no negative time (its muxer would shift every stream, the pictures after the sound)
  // and trims the priming by its codec delay, so there the song starts at the padding's end.
  // The end: the encoder marks its last packet's padding past the song (skip-samples side data,
  // kept by drain()), which MP4's edit list leaves out and WebM writes as a DiscardPadding.
  std::int64_t firstSample = 0;
  int width = 0;
  int height = 0;

  ~State() {
    if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
    av_audio_fifo_free(fifo);
    swr_free(&resampler);
    sws_freeContext(scaler);
    av_frame_free(&picture);
    av_frame_free(&soundFrame);
    av_packet_free(&packet);
    avcodec_free_context(&pictures);
    avcodec_free_context(&sound);
    avformat_free_context(format);
  }

  // Writes every packet the encoder has ready.
  bool drain(AVCodecContext* codec, AVStream* stream, std::string* error) {
    for (;;) {
      const int status = avcodec_receive_packet(codec, packet);
      if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
      if (status < 0) {
        *error = "encoding failed: " + ffmpegError(status);
        return false;
      }
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      const int written = av_interleaved_write_frame(format, packet);
      if (written < 0) {
        *error = "writing failed: " + ffmpegError(written);
        return false;
      }
    }
  }

  bool encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error) {
    const int status = avcodec_send_frame(codec, frame);
    if (status < 0) {
      *error = "encoding failed: " + ffmpegError(status);
      return false;
    }
    return drain(codec, stream, error);
  }

  // Encodes whole frames from the FIFO; with `all`, the last short one too.
  bool encodeQueuedSound(bool all, std::string* error) {
    const int frameSize = sound->frame_size > 0 ? sound->frame_size : 1024;
    while (av_audio_fifo_size(fifo) >= frameSize || (all && av_audio_fifo_size(fifo) > 0)) {
      const int n = std::min(frameSize, av_audio_fifo_size(fifo));
      av_frame_unref(soundFrame);
      soundFrame->nb_samples = n;
      soundFrame->format = sound->sample_fmt;
      soundFrame->sample_rate = sound->sample_rate;
      av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout);
      if (av_frame_get_buffer(soundFrame, 0) < 0 ||
          av_audio_fifo_read(fifo, reinterpret_cast<void**>(soundFrame->data), n) != n) {
        *error = "out of memory for the audio";
        return false;
      }
      soundFrame->pts = firstSample + nextSample;
      nextSample += n;
      if (!encode(sound, soundStream, soundFrame, error)) return false;
    }
    return true;
  }

  bool resample(const float* left, const float* right, int frames, std::string* error) {
    const int capacity = swr_get_out_samples(resampler, frames);
    if (capacity < 0) {
      *error = "resampling the audio failed";
      return false;
    }
    const int bytesPerSample = av_get_bytes_per_sample(sound->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(sound->sample_fmt) != 0;
    const std::size_t planeBytes = static_cast<std::size_t>(capacity) * bytesPerSample *
                                   (planar ? 1 : sound->ch_layout.nb_channels);
    convertedStorage.resize(planar ? sound->ch_layout.nb_channels : 1);
    converted.clear();
    for (auto& plane : convertedStorage) {
      if (plane.size() < planeBytes) plane.resize(planeBytes);
      converted.push_back(plane.data());
    }
    const std::uint8_t* input[2] = {reinterpret_cast<const std::uint8_t*>(left),
                                    reinterpret_cast<const std::uint8_t*>(right)};
    const int done =
        swr_convert(resampler, converted.data(), capacity, frames > 0 ? input : nullptr, frames);
    if (done < 0 ||
        av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted.data()), done) < done) {
      *error = "resampling the audio failed";
      return false;
    }
    return true;
  }
};

VideoEncoder::VideoEncoder() = default;
VideoEncoder::~VideoEncoder() = default;

namespace {

// A context for the encoder called `name`; null and a reason when FFmpeg has none.
AVCodecContext* encoderNamed(const char* name, const AVCodec** codec, std::string* error) {
  *codec = avcodec_find_encoder_by_name(name);
  if (*codec == nullptr) {
    *error = std::string("FFmpeg offers no ") + name + " encoder";
    return nullptr;
  }
  return avcodec_alloc_context3(*codec);
}

bool openEncoder(AVCodecContext* context, const AVCodec* codec, const AVFormatContext* format,
                 AVDictionary** options, std::string* error) {
  if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int status = avcodec_open2(context, codec, options);
  av_dict_free(options);
  if (status < 0) {
    *error =
        std::string("the ") + codec->name + " encoder refused its settings: " + ffmpegError(status);
    return false;
  }
  return true;
}

bool openPictureEncoder(VideoEncoder::State& s, const EncoderSettings& settings,
                        std::string* error) {
  const bool mp4 = settings.container == Container::mp4;
  const AVCodec* codec = nullptr;
  s.pictures = encoderNamed(mp4 ? "libx264" : "libvpx-vp9", &codec, error);
  if (s.pictures == nullptr) return false;
  s.pictures->width = settings.width;
  s.pictures->height = settings.height;
  s.pictures->time_base = kPictureTime;
  s.pictures->framerate = av_inv_q(kPictureTime);
  s.pictures->gop_size = 60;  // a key picture every two seconds, for seeking and editing
  s.pictures->pix_fmt = settings.lossless ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_YUV420P;
  // The pictures are sRGB, converted with the BT.601 matrix in limited range.
  s.pictures->color_primaries = AVCOL_PRI_BT709;
  s.pictures->color_trc = AVCOL_TRC_IEC61966_2_1;
  s.pictures->colorspace = AVCOL_SPC_SMPTE170M;
  s.pictures->color_range = AVCOL_RANGE_MPEG;
  if (!settings.lossless) {
    // A ceiling on the rate (4 Mbit/s at 720 × 720, in proportion to the pixels) keeps a plot
    // full of fine lines, such as the joyplot, to a file that can still be shared.
    constexpr double kBitsPerPixel = 4e6 / (720.0 * 720.0 * 30.0);
    s.pictures->rc_max_rate =
        static_cast<std::int64_t>(kBitsPerPixel * settings.width * settings.height * 30.0);
    s.pictures->rc_buffer_size = static_cast<int>(2 * s.pictures->rc_max_rate);
  }
  AVDictionary* options = nullptr;
  if (mp4) {
    av_dict_set(&options, "preset", settings.lossless ? "ultrafast" : "superfast", 0);
    av_dict_set(&options, settings.lossless ? "qp" : "crf", settings.lossless ? "0" : "23", 0);
  } else {
    av_dict_set(&options, "deadline", "realtime", 0);
    av_dict_set(&options, "cpu-used", "8", 0);
    av_dict_set(&options, "row-mt", "1", 0);
    if (settings.lossless) {
      av_dict_set(&options, "lossless", "1", 0);
    } else {
      av_dict_set(&options, "crf", "32", 0);  // constrained quality, up to the ceiling
      s.pictures->bit_rate = s.pictures->rc_max_rate;
    }
  }
  return openEncoder(s.pictures, codec, s.format, &options, error);
}

bool openSoundEncoder(VideoEncoder::State& s, const EncoderSettings& settings, std::string* error) {
  const bool mp4 = settings.container == Container::mp4;
  const AVCodec* codec = nullptr;
  s.sound = encoderNamed(mp4 ? "aac" : "libopus", &codec, error);
  if (s.sound == nullptr) return false;
  s.sound->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  // The song's own rate where the codec takes it (Opus takes few), else 48 kHz.
  int rate =
      codec->supported_samplerates == nullptr ? static_cast<int>(settings.sampleRate) : 48000;
  for (const int* offered = codec->supported_samplerates; offered != nullptr && *offered != 0;
       ++offered) {
    if (*offered == static_cast<int>(settings.sampleRate)) rate = *offered;
  }
  s.sound->sample_rate = rate;
  s.sound->time_base = AVRational{1, rate};
  const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&s.sound->ch_layout, &stereo);
  s.sound->bit_rate = mp4 ? 192000 : 128000;
  AVDictionary* options = nullptr;
  return openEncoder(s.sound, codec, s.format, &options, error);
}

// The RGBA-to-YUV scaler, the resampler from the song's rate and the buffers between them.
bool openConverters(VideoEncoder::State& s, const EncoderSettings& settings, std::string* error) {
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  s.scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_RGBA, settings.width,
                            settings.height, s.pictures->pix_fmt,
                            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                            nullptr);
  if (s.scaler == nullptr ||
      swr_alloc_set_opts2(&s.resampler, &s.sound->ch_layout, s.sound->sample_fmt,
                          s.sound->sample_rate, &stereo, AV_SAMPLE_FMT_FLTP,
                          static_cast<int>(settings.sampleRate), 0, nullptr) < 0 ||
      swr_init(s.resampler) < 0) {
    *error = "cannot convert pictures or audio for the encoders";
    return false;
  }
  s.fifo = av_audio_fifo_alloc(s.sound->sample_fmt, 2, s.sound->sample_rate);
  s.picture = av_frame_alloc();
  s.soundFrame = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (s.fifo == nullptr || s.picture == nullptr || s.soundFrame == nullptr || s.packet == nullptr) {
    *error = "out of memory for the encoders";
    return false;
  }
  s.picture->format = s.pictures->pix_fmt;
  s.picture->width = settings.width;
  s.picture->height = settings.height;
  if (av_frame_get_buffer(s.picture, 0) < 0) {
    *error = "out of memory for the pictures";
    return false;
  }
  return true;
}

}  // namespace

bool VideoEncoder::open(const std::string& path, const EncoderSettings& settings,
                        std::string* error) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  s.width = settings.width;
  s.height = settings.height;
  const bool mp4 = settings.container == Container::mp4;
  if (avformat_alloc_output_context2(&s.format, nullptr, mp4 ? "mp4" : "webm", path.c_str()) < 0) {
    *error = "FFmpeg offers no " + std::string(mp4 ? "MP4" : "WebM") + " muxer";
    return false;
  }
  if (!openPictureEncoder(s, settings, error) || !openSoundEncoder(s, settings, error))
    return false;
  s.firstSample = mp4 ? 0 : s.sound->initial_padding;
  s.pictureStream = avformat_new_stream(s.format, nullptr);
  s.soundStream = avformat_new_stream(s.format, nullptr);
  if (s.pictureStream == nullptr || s.soundStream == nullptr ||
      avcodec_parameters_from_context(s.pictureStream->codecpar, s.pictures) < 0 ||
      avcodec_parameters_from_context(s.soundStream->codecpar, s.sound) < 0) {
    *error = "out of memory for the streams";
    return false;
  }
  s.pictureStream->time_base = s.pictures->time_base;
  s.pictureStream->avg_frame_rate = s.pictures->framerate;
  s.soundStream->time_base = s.sound->time_base;
  if (!openConverters(s, settings, error)) return false;

  int status = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (status < 0) {
    *error = "cannot be written (" + ffmpegError(status) + ")";
    return false;
  }
  AVDictionary* muxerOptions = nullptr;
  // The index first, so a player starts before the whole file has arrived.
  if (mp4) av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
  status = avformat_write_header(s.format, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (status < 0) {
    *error = "cannot be written (" + ffmpegError(status) + ")";
    return false;
  }
  return true;
}

bool VideoEncoder::addPicture(const std::uint8_t* rgba, std::size_t stride, std::string* error) {
  State& s = *state_;
  if (av_frame_make_writable(s.picture) < 0) {
    *error = "out of memory for the pictures";
    return false;
  }
  const std::uint8_t* source[1] = {rgba};
  const int sourceStride[1] = {static_cast<int>(stride)};
  sws_scale(s.scaler, source, sourceStride, 0, s.height, s.picture->data, s.picture->linesize);
  s.picture->pts = s.nextPicture++;
  return s.encode(s.pictures, s.pictureStream, s.picture, error);
}

bool VideoEncoder::addAudio(const float* left, const float* right, std::size_t frames,
                            std::string* error) {
  State& s = *state_;
  if (frames == 0) return true;
  return s.resample(left, right, static_cast<int>(frames), error) &&
         s.encodeQueuedSound(false, error);
}

bool VideoEncoder::finish(std::string* error) {
  State& s = *state_;
  if (!s.resample(nullptr, nullptr, 0, error) || !s.encodeQueuedSound(true, error) ||
      !s.encode(s.sound, s.soundStream, nullptr, error) ||
      !s.encode(s.pictures, s.pictureStream, nullptr, error))
    return false;
  const int status = av_write_trailer(s.format);
  if (status < 0) {
    *error = "writing failed: " + ffmpegError(status);
    return false;
  }
  if (avio_closep(&s.format->pb) < 0) {
    *error = "writing failed";
    return false;
  }
  return true;
}

}  // namespace video
