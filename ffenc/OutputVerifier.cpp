#include "ffenc/OutputVerifier.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "v02dec/V02Decode.h"

namespace {

std::string LibraryText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// One stream of the output, decoded frame by frame. The video and the sound
// are read through two of these, each with its own demuxer, so that each can
// be compared in the movie's own order without holding frames back.
class StreamReader {
 public:
  ~StreamReader() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
  }

  // False when the file or the stream cannot be read; problem says why.
  bool Open(const std::string& path, AVMediaType type, std::string& problem) {
    int result = avformat_open_input(&format_, ("file:" + path).c_str(), nullptr, nullptr);
    if (result >= 0) result = avformat_find_stream_info(format_, nullptr);
    if (result < 0) {
      problem = "cannot read the output: " + LibraryText(result);
      return false;
    }
    const AVCodec* decoder = nullptr;
    index_ = av_find_best_stream(format_, type, -1, -1, &decoder, 0);
    if (index_ < 0) {
      problem = type == AVMEDIA_TYPE_VIDEO ? "the output has no video" : "the output has no sound";
      return false;
    }
    stream_ = format_->streams[index_];
    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    result = codec_ && packet_ && frame_ ? 0 : AVERROR(ENOMEM);
    if (result >= 0) result = avcodec_parameters_to_context(codec_, stream_->codecpar);
    if (result >= 0) {
      codec_->thread_count = 0;
      result = avcodec_open2(codec_, decoder, nullptr);
    }
    if (result < 0) {
      problem = "cannot decode the output: " + LibraryText(result);
      return false;
    }
    return true;
  }

  // The next decoded frame in frame(): 1, or 0 at the end, -1 on a failure.
  int Next(std::string& problem) {
    for (;;) {
      int result = avcodec_receive_frame(codec_, frame_);
      if (result >= 0) return 1;
      if (result == AVERROR_EOF) return 0;
      if (result != AVERROR(EAGAIN)) {
        problem = "cannot decode the output: " + LibraryText(result);
        return -1;
      }
      do {
        result = av_read_frame(format_, packet_);
        if (result == AVERROR_EOF) {
          result = avcodec_send_packet(codec_, nullptr);
          break;
        }
        if (result < 0) {
          problem = "cannot read the output: " + LibraryText(result);
          return -1;
        }
        if (packet_->stream_index == index_) {
          result = avcodec_send_packet(codec_, packet_);
          av_packet_unref(packet_);
          break;
        }
        av_packet_unref(packet_);
      } while (true);
      if (result < 0 && result != AVERROR_EOF) {
        problem = "cannot decode the output: " + LibraryText(result);
        return -1;
      }
    }
  }

  AVFrame* frame() { return frame_; }
  AVStream* stream() { return stream_; }

 private:
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int index_ = -1;
};

// The output's pictures, as 24-bit BGR rows top row first for the lossless
// comparison, or as they were decoded (4:2:0) for measuring a lossy one.
class PictureReader {
 public:
  explicit PictureReader(bool toBgr) : toBgr_(toBgr) {}
  ~PictureReader() {
    sws_freeContext(scaler_);
    av_freep(&bgr_[0]);
  }
  bool Open(const std::string& path, std::string& problem) {
    return reader_.Open(path, AVMEDIA_TYPE_VIDEO, problem);
  }
  // 1 with the next picture, 0 at the end, -1 on a failure.
  int Next(std::string& problem) {
    const int got = reader_.Next(problem);
    if (got <= 0) return got;
    const AVFrame* frame = reader_.frame();
    if (width_ == 0) {
      width_ = frame->width;
      height_ = frame->height;
      if (!toBgr_) {
        if (frame->format != AV_PIX_FMT_YUV420P) {
          problem = "the output's pictures are not 4:2:0";
          return -1;
        }
      } else {
        scaler_ = sws_getContext(width_, height_, static_cast<AVPixelFormat>(frame->format),
                                 width_, height_, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr);
        if (scaler_ == nullptr ||
            av_image_alloc(bgr_, stride_, width_, height_, AV_PIX_FMT_BGR24, 1) < 0) {
          problem = "cannot convert the output's pictures";
          return -1;
        }
      }
    }
    if (frame->width != width_ || frame->height != height_) {
      problem = "the output's picture size changes";
      return -1;
    }
    if (toBgr_) sws_scale(scaler_, frame->data, frame->linesize, 0, height_, bgr_, stride_);
    return 1;
  }
  const uint8_t* Row(int y) const { return bgr_[0] + size_t(stride_[0]) * y; }
  const AVFrame* Decoded() { return reader_.frame(); }
  int Width() const { return width_; }
  int Height() const { return height_; }
  StreamReader& Stream() { return reader_; }

 private:
  bool toBgr_;
  StreamReader reader_;
  SwsContext* scaler_ = nullptr;
  uint8_t* bgr_[4] = {};
  int stride_[4] = {};
  int width_ = 0;
  int height_ = 0;
};

// The movie's frames in 4:2:0 as the lossy encoder was given them, and the
// squared error of the output's against them, plane by plane.
class PlaneError {
 public:
  ~PlaneError() {
    sws_freeContext(scaler_);
    av_freep(&yuv_[0]);
  }
  bool Open(int width, int height) {
    width_ = width;
    height_ = height;
    scaler_ = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, AV_PIX_FMT_YUV420P,
                             SWS_BICUBIC, nullptr, nullptr, nullptr);
    return scaler_ != nullptr &&
           av_image_alloc(yuv_, stride_, width, height, AV_PIX_FMT_YUV420P, 16) >= 0;
  }
  void Add(const TBitmap& bitmap, const AVFrame* decoded) {
    const uint8_t* top = bitmap.ScanLine(0);
    const int rowBytes = static_cast<int>(bitmap.RowBytes());
    const uint8_t* source[1] = {top};
    const int sourceStride[1] = {bitmap.Height() > 1 ? int(bitmap.ScanLine(1) - top) : rowBytes};
    sws_scale(scaler_, source, sourceStride, 0, height_, yuv_, stride_);
    for (int plane = 0; plane < 3; ++plane) {
      const int w = plane == 0 ? width_ : (width_ + 1) / 2;
      const int h = plane == 0 ? height_ : (height_ + 1) / 2;
      for (int y = 0; y < h; ++y) {
        const uint8_t* a = yuv_[plane] + size_t(stride_[plane]) * y;
        const uint8_t* b = decoded->data[plane] + size_t(decoded->linesize[plane]) * y;
        for (int x = 0; x < w; ++x) {
          const double d = double(a[x]) - double(b[x]);
          squared_ += d * d;
        }
      }
      values_ += double(w) * h;
    }
  }
  double Psnr() const {
    return squared_ == 0 ? std::numeric_limits<double>::infinity()
                         : 10 * std::log10(255.0 * 255.0 * values_ / squared_);
  }

 private:
  SwsContext* scaler_ = nullptr;
  uint8_t* yuv_[4] = {};
  int stride_[4] = {};
  int width_ = 0;
  int height_ = 0;
  double squared_ = 0;
  double values_ = 0;
};

// The output's samples one by one, across its frames.
class SampleReader {
 public:
  bool Open(const std::string& path, std::string& problem) {
    if (!reader_.Open(path, AVMEDIA_TYPE_AUDIO, problem)) return false;
    const AVCodecParameters* p = reader_.stream()->codecpar;
    if ((p->format != AV_SAMPLE_FMT_S16 && p->format != AV_SAMPLE_FMT_S16P) ||
        p->ch_layout.nb_channels != 1) {
      problem = "the output's sound is not 16-bit mono";
      return false;
    }
    return true;
  }
  // 1 with the next sample in sample, 0 at the end, -1 on a failure.
  int Next(int16_t& sample, std::string& problem) {
    while (offset_ >= available_) {
      const int got = reader_.Next(problem);
      if (got <= 0) return got;
      available_ = reader_.frame()->nb_samples;
      offset_ = 0;
    }
    sample = reinterpret_cast<const int16_t*>(reader_.frame()->data[0])[offset_++];
    return 1;
  }

 private:
  StreamReader reader_;
  int available_ = 0;
  int offset_ = 0;
};

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* pattern, ...) {
  char text[256];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

}  // namespace

VerifyReport VerifyOutput(const std::string& moviePath, const std::string& outputPath,
                          bool lossless) {
  VerifyReport report;
  std::unique_ptr<V02Decode> decoder(new V02Decode);
  if (decoder->Open(moviePath) != kMovieOk) {
    decoder->Close();
    report.problem = "cannot read the movie again";
    return report;
  }
  const uint32_t frameCount = decoder->Parameters().frameCount;
  const int width = static_cast<int>(decoder->Parameters().width);
  const int height = static_cast<int>(decoder->Parameters().height);
  const size_t blockSamples = decoder->Parameters().soundBlockBytes / 2;

  if (frameCount == 0) {
    // Nothing was written to compare, and this libavformat cannot open a
    // Matroska file without a single cluster (other readers can).
    decoder->Close();
    report.ok = true;
    return report;
  }
  PictureReader pictures(lossless);
  SampleReader samples;
  PlaneError error;
  if (!lossless && !error.Open(width, height)) {
    decoder->Close();
    report.problem = "cannot convert the movie's pictures";
    return report;
  }
  const bool withSound = lossless && decoder->Parameters().soundRate != 0 && blockSamples != 0;
  if (!pictures.Open(outputPath, report.problem) ||
      (withSound && !samples.Open(outputPath, report.problem))) {
    decoder->Close();
    return report;
  }

  uint64_t movieSamples = 0;
  for (uint32_t left = frameCount; left != 0 && report.problem.empty();) {
    if (decoder->ReadChunk() != kMovieOk) {
      report.problem = "cannot read the movie again";
      break;
    }
    for (uint32_t j = 0; j < decoder->Parameters().framesPerChunk && left != 0; ++j, --left) {
      const int got = pictures.Next(report.problem);
      if (got < 0) break;
      if (got == 0) {
        report.problem = Format("the output ends after %llu frames; the movie has %u",
                                static_cast<unsigned long long>(report.frames), frameCount);
        break;
      }
      // An odd size stands padded to an even one in 4:2:0 outputs.
      const bool sizeOk = lossless ? pictures.Width() == width && pictures.Height() == height
                                   : pictures.Width() >= width && pictures.Height() >= height &&
                                         pictures.Width() <= width + 1 &&
                                         pictures.Height() <= height + 1;
      if (!sizeOk) {
        report.problem = Format("the output's frames are %d x %d; the movie's %d x %d",
                                pictures.Width(), pictures.Height(), width, height);
        break;
      }
      const TBitmap& bitmap = *decoder->frameBitmaps[j];
      if (!lossless) {
        error.Add(bitmap, pictures.Decoded());
      } else {
        for (int y = 0; y < height && report.problem.empty(); ++y) {
          const uint8_t* want = bitmap.ScanLine(y);
          const uint8_t* have = pictures.Row(y);
          if (std::memcmp(want, have, size_t(width) * 3) == 0) continue;
          int x = 0;
          while (std::memcmp(want + 3 * x, have + 3 * x, 3) == 0) ++x;
          report.problem = Format("frame %llu differs at pixel (%d, %d)",
                                  static_cast<unsigned long long>(report.frames), x, y);
        }
      }
      if (!report.problem.empty()) break;
      ++report.frames;
    }
    if (!report.problem.empty() || !withSound) continue;
    const int16_t* block = decoder->soundBlock.get();
    for (size_t i = 0; i < blockSamples; ++i, ++movieSamples) {
      int16_t sample = 0;
      const int got = samples.Next(sample, report.problem);
      if (got < 0) break;
      if (got == 0) {
        report.problem = Format("the output's sound ends after %llu samples",
                                static_cast<unsigned long long>(movieSamples));
        break;
      }
      if (sample != block[i]) {
        report.problem = Format("sound sample %llu differs: %d instead of %d",
                                static_cast<unsigned long long>(movieSamples), sample, block[i]);
        break;
      }
    }
    report.samples = movieSamples;
  }
  decoder->Close();
  if (!report.problem.empty()) return report;

  const int more = pictures.Next(report.problem);
  if (more < 0) return report;
  if (more > 0) {
    report.problem = Format("the output holds more than the movie's %u frames", frameCount);
    return report;
  }
  if (withSound) {
    int16_t sample = 0;
    const int extra = samples.Next(sample, report.problem);
    if (extra < 0) return report;
    if (extra > 0) {
      report.problem = Format("the output holds more than the movie's %llu samples",
                              static_cast<unsigned long long>(movieSamples));
      return report;
    }
  }

  const AVStream* video = pictures.Stream().stream();
  const double expected =
      double(frameCount) * decoder->Parameters().scale / decoder->Parameters().rate;
  report.seconds =
      video->duration != AV_NOPTS_VALUE ? double(video->duration) * av_q2d(video->time_base) : expected;
  if (!lossless) {
    // Half a frame either way: containers round their clocks.
    const double tolerance = 0.5 * decoder->Parameters().scale / decoder->Parameters().rate;
    if (std::fabs(report.seconds - expected) > tolerance) {
      report.problem = Format("the output lasts %.3f s; the movie %.3f s", report.seconds, expected);
      return report;
    }
    report.psnr = error.Psnr();
  }
  report.ok = true;
  return report;
}

std::string DescribeVerified(const VerifyReport& report, bool lossless) {
  if (lossless) {
    return Format("verified: %llu frames, %llu samples identical",
                  static_cast<unsigned long long>(report.frames),
                  static_cast<unsigned long long>(report.samples));
  }
  if (std::isinf(report.psnr)) {
    return Format("verified: %llu frames, %.2f s, frames identical",
                  static_cast<unsigned long long>(report.frames), report.seconds);
  }
  return Format("verified: %llu frames, %.2f s, PSNR %.1f dB",
                static_cast<unsigned long long>(report.frames), report.seconds, report.psnr);
}
