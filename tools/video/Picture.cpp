#include "Picture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace video {
namespace {

constexpr int kLargestSide = 8192;
constexpr long kMostPixels = 16L << 20;

struct Decoding {
  AVFormatContext* format = nullptr;
  AVCodecContext* decoder = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  ~Decoding() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
  }
};

// Whether a picture of this size is read; a reason otherwise.
bool sizeAccepted(int width, int height, std::string* reason) {
  if (width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide &&
      static_cast<long>(width) * height <= kMostPixels)
    return true;
  *reason = "its picture is " + std::to_string(width) + " × " + std::to_string(height) +
            " pixels; at most " + std::to_string(kLargestSide) +
            " on a side and 16 Mi pixels in all are read";
  return false;
}

// The first picture of `stream`, decoded from `packet`.
std::optional<render::Image> decodePicture(Decoding& d, const AVStream* stream,
                                           const AVPacket* packet, std::string* reason) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) {
    *reason = "its picture is in a format FFmpeg cannot decode";
    return std::nullopt;
  }
  // The size its header declares is checked before anything that large is decoded.
  const AVCodecParameters* header = stream->codecpar;
  if ((header->width != 0 || header->height != 0) &&
      !sizeAccepted(header->width, header->height, reason))
    return std::nullopt;
  d.decoder = avcodec_alloc_context3(codec);
  if (d.decoder != nullptr) d.decoder->max_pixels = kMostPixels;
  if (d.decoder == nullptr || avcodec_parameters_to_context(d.decoder, stream->codecpar) < 0 ||
      avcodec_open2(d.decoder, codec, nullptr) < 0 || avcodec_send_packet(d.decoder, packet) < 0) {
    *reason = "its picture cannot be decoded";
    return std::nullopt;
  }
  avcodec_send_packet(d.decoder, nullptr);
  if (avcodec_receive_frame(d.decoder, d.frame) < 0) {
    *reason = "its picture cannot be decoded";
    return std::nullopt;
  }
  const int width = d.frame->width;
  const int height = d.frame->height;
  if (!sizeAccepted(width, height, reason)) return std::nullopt;
  SwsContext* converter =
      sws_getContext(width, height, static_cast<AVPixelFormat>(d.frame->format), width, height,
                     AV_PIX_FMT_RGBA, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (converter == nullptr) {
    *reason = "its picture's pixel format cannot be converted";
    return std::nullopt;
  }
  render::Image image(static_cast<std::size_t>(width), static_cast<std::size_t>(height));
  std::uint8_t* target[1] = {image.rgba.data()};
  const int targetStride[1] = {width * 4};
  sws_scale(converter, d.frame->data, d.frame->linesize, 0, height, target, targetStride);
  sws_freeContext(converter);
  return image;
}

bool openInput(Decoding& d, const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  return avformat_open_input(&d.format, path.c_str(), nullptr, nullptr) >= 0 &&
         avformat_find_stream_info(d.format, nullptr) >= 0;
}

}  // namespace

std::optional<render::Image> embeddedCover(const std::string& path) {
  Decoding d;
  if (!openInput(d, path)) return std::nullopt;
  for (unsigned i = 0; i < d.format->nb_streams; ++i) {
    const AVStream* stream = d.format->streams[i];
    if ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) && stream->attached_pic.size > 0) {
      std::string reason;
      return decodePicture(d, stream, &stream->attached_pic, &reason);
    }
  }
  return std::nullopt;
}

std::optional<render::Image> readPicture(const std::string& path, std::string* error) {
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    *error = path + ": cannot be read (" + std::strerror(errno) + ")";
    return std::nullopt;
  }
  Decoding d;
  std::string reason = "not a picture";
  if (openInput(d, path)) {
    const int index = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0) {
      while (av_read_frame(d.format, d.packet) >= 0) {
        if (d.packet->stream_index == index) {
          if (auto image = decodePicture(d, d.format->streams[index], d.packet, &reason))
            return image;
          break;
        }
        av_packet_unref(d.packet);
      }
    }
  }
  *error = path + ": " + reason;
  return std::nullopt;
}

}  // namespace video
