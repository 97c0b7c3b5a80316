#include "ffenc/OutputVerifier.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>
#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "cli/Gettext.h"
#include "platform/FileAccess.h"

#include "v02dec/ChunkWalk.h"
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
      problem = _("cannot read the output") + std::string(": ") + LibraryText(result);
      return false;
    }
    const AVCodec* decoder = nullptr;
    index_ = av_find_best_stream(format_, type, -1, -1, &decoder, 0);
    if (index_ < 0) {
      problem = type == AVMEDIA_TYPE_VIDEO ? _("the output has no video") : _("the output has no sound");
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
      problem = _("cannot decode the output") + std::string(": ") + LibraryText(result);
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
        problem = _("cannot decode the output") + std::string(": ") + LibraryText(result);
        return -1;
      }
      do {
        result = av_read_frame(format_, packet_);
        if (result == AVERROR_EOF) {
          result = avcodec_send_packet(codec_, nullptr);
          break;
        }
        if (result < 0) {
          problem = _("cannot read the output") + std::string(": ") + LibraryText(result);
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
        problem = _("cannot decode the output") + std::string(": ") + LibraryText(result);
        return -1;
      }
    }
  }

  AVFrame* frame() { return frame_; }
  AVStream* stream() { return stream_; }
  AVFormatContext* format() { return format_; }

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
          problem = _("the output's pictures are not 4:2:0");
          return -1;
        }
      } else {
        scaler_ = sws_getContext(width_, height_, static_cast<AVPixelFormat>(frame->format),
                                 width_, height_, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
                                 nullptr, nullptr);
        if (scaler_ == nullptr ||
            av_image_alloc(bgr_, stride_, width_, height_, AV_PIX_FMT_BGR24, 1) < 0) {
          problem = _("cannot convert the output's pictures");
          return -1;
        }
      }
    }
    if (frame->width != width_ || frame->height != height_) {
      problem = _("the output's picture size changes");
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

// A lossy output's sound, decoded and brought to the movie's rate, against
// the movie's: the sums of a normalised correlation, with no lag, since the
// container's edit list already hides the encoder's delay.
class SoundMatch {
 public:
  ~SoundMatch() { swr_free(&resampler_); }
  bool Open(const std::string& path, int movieRate, std::string& problem) {
    if (!reader_.Open(path, AVMEDIA_TYPE_AUDIO, problem)) return false;
    const AVCodecParameters* p = reader_.stream()->codecpar;
    outputRate_ = p->sample_rate;
    movieRate_ = movieRate;
    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    AVChannelLayout layout{};
    int result = av_channel_layout_copy(&layout, &p->ch_layout);
    if (result >= 0) {
      result = swr_alloc_set_opts2(&resampler_, &mono, AV_SAMPLE_FMT_FLT, movieRate, &layout,
                                   static_cast<AVSampleFormat>(p->format), p->sample_rate, 0,
                                   nullptr);
    }
    av_channel_layout_uninit(&layout);
    if (result >= 0) result = swr_init(resampler_);
    if (result < 0) {
      problem = _("cannot convert the output's sound") + std::string(": ") + LibraryText(result);
      return false;
    }
    return true;
  }

  // Adds the movie's next count samples to the sums, against as many of the
  // output's as it has. False on a failure of the output.
  bool Add(const int16_t* movie, size_t count, std::string& problem) {
    movieSamples_ += count;
    while (pending_.size() - used_ < count && !ended_) {
      if (!Decode(problem)) return false;
    }
    const size_t have = std::min(count, pending_.size() - used_);
    for (size_t i = 0; i < have; ++i) {
      const double m = movie[i] / 32768.0;
      const double o = pending_[used_ + i];
      movieEnergy_ += m * m;
      outputEnergy_ += o * o;
      product_ += m * o;
    }
    used_ += have;
    compared_ += have;
    if (used_ > (1u << 16)) {
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(used_));
      used_ = 0;
    }
    return true;
  }

  // After the movie's last sample: reads the rest and checks the length.
  bool Finish(std::string& problem) {
    while (!ended_) {
      if (!Decode(problem)) return false;
    }
    // The sound lasts as long as the container says (its edit list cuts the
    // encoder's last frame where the movie's sound ends), and the decoded
    // samples must fill that. The AAC encoder and the MP4 muxer round the
    // last frame's length: up to 0.7 ms was seen, 2 ms is allowed, far below
    // any lost block of sound.
    const AVStream* stream = reader_.stream();
    const double declared =
        stream->duration != AV_NOPTS_VALUE
            ? double(av_rescale_q(stream->duration, stream->time_base, AVRational{1, outputRate_}))
            : double(decoded_);
    const double expected = double(movieSamples_) * outputRate_ / movieRate_;
    const double tolerance = std::max(1.5, 0.002 * outputRate_);
    if (std::fabs(declared - expected) > tolerance || double(decoded_) < declared - 1) {
      char text[160];
      std::snprintf(text, sizeof text, _("the output's sound lasts %.3f s; the movie's %.3f s"),
                    std::min(declared, double(decoded_)) / outputRate_,
                    double(movieSamples_) / movieRate_);
      problem = text;
      return false;
    }
    return true;
  }

  uint64_t Compared() const { return compared_; }
  // Silence is a full-scale sample's thousandth (-60 dBFS) on average.
  static bool Quiet(double energy, uint64_t count) {
    return count == 0 || energy / double(count) <= 1e-6;
  }
  bool MovieSilent() const { return Quiet(movieEnergy_, compared_); }
  bool OutputSilent() const { return Quiet(outputEnergy_, compared_); }
  double Correlation() const {
    const double scale = std::sqrt(movieEnergy_ * outputEnergy_);
    return scale > 0 ? product_ / scale : 0;
  }

 private:
  bool Decode(std::string& problem) {
    const int got = reader_.Next(problem);
    if (got < 0) return false;
    const AVFrame* frame = got > 0 ? reader_.frame() : nullptr;
    const int in = frame != nullptr ? frame->nb_samples : 0;
    if (frame != nullptr) decoded_ += static_cast<uint64_t>(in);
    const int room = swr_get_out_samples(resampler_, in);
    if (room < 0) return Fail(room, problem);
    const size_t start = pending_.size();
    pending_.resize(start + static_cast<size_t>(room));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pending_.data() + start)};
    const int made = swr_convert(resampler_, out, room,
                                 frame != nullptr ? const_cast<const uint8_t**>(frame->extended_data)
                                                  : nullptr,
                                 in);
    if (made < 0) return Fail(made, problem);
    pending_.resize(start + static_cast<size_t>(made));
    converted_ += static_cast<uint64_t>(made);
    ended_ = got == 0;
    return !ended_ || Drain(problem);
  }
  // The resampler holds back the last samples until its filter has seen what
  // follows: silence after the end gives it that, and the converted sound is
  // cut at the length of the decoded one.
  bool Drain(std::string& problem) {
    const auto wanted = static_cast<uint64_t>(
        av_rescale_rnd(static_cast<int64_t>(decoded_), movieRate_, outputRate_, AV_ROUND_NEAR_INF));
    // Zero bytes are silence in every sample format, for every plane.
    static const double kSilence[256 * 8] = {};
    const uint8_t* in[8];
    for (const uint8_t*& plane : in) plane = reinterpret_cast<const uint8_t*>(kSilence);
    for (int round = 0; converted_ < wanted && round < 1024; ++round) {
      const int room = swr_get_out_samples(resampler_, 256);
      if (room < 0) return Fail(room, problem);
      const size_t start = pending_.size();
      pending_.resize(start + static_cast<size_t>(room));
      uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pending_.data() + start)};
      const int made = swr_convert(resampler_, out, room, in, 256);
      if (made < 0) return Fail(made, problem);
      const uint64_t keep = std::min<uint64_t>(static_cast<uint64_t>(made), wanted - converted_);
      pending_.resize(start + static_cast<size_t>(keep));
      converted_ += keep;
    }
    return true;
  }
  static bool Fail(int code, std::string& problem) {
    problem = _("cannot convert the output's sound") + std::string(": ") + LibraryText(code);
    return false;
  }

  StreamReader reader_;
  SwrContext* resampler_ = nullptr;
  int outputRate_ = 0;
  int movieRate_ = 0;
  std::vector<float> pending_;  // converted, not yet compared
  size_t used_ = 0;
  bool ended_ = false;
  uint64_t decoded_ = 0;    // at the output's rate
  uint64_t converted_ = 0;  // at the movie's
  uint64_t movieSamples_ = 0;
  uint64_t compared_ = 0;
  double movieEnergy_ = 0;
  double outputEnergy_ = 0;
  double product_ = 0;
};

// The output's samples one by one, across its frames.
class SampleReader {
 public:
  bool Open(const std::string& path, std::string& problem) {
    if (!reader_.Open(path, AVMEDIA_TYPE_AUDIO, problem)) return false;
    const AVCodecParameters* p = reader_.stream()->codecpar;
    if ((p->format != AV_SAMPLE_FMT_S16 && p->format != AV_SAMPLE_FMT_S16P) ||
        p->ch_layout.nb_channels != 1) {
      problem = _("the output's sound is not 16-bit mono");
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

  StreamReader& Stream() { return reader_; }

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

// The output's frame rate against the movie's rate / scale: exactly, or as
// Matroska keeps it, a frame's duration in whole nanoseconds, which this
// demuxer reads back as the nearest fraction of numbers up to 30000.
bool FrameRateKept(const AVStream* stream, uint32_t rate, uint32_t scale, std::string& problem) {
  const AVRational kept = stream->avg_frame_rate.num != 0 ? stream->avg_frame_rate
                                                          : stream->r_frame_rate;
  AVRational exact{}, inNanoseconds{};
  av_reduce(&exact.num, &exact.den, rate, scale, INT_MAX);
  const int64_t nanoseconds = av_rescale_rnd(scale, 1000000000, rate, AV_ROUND_NEAR_INF);
  av_reduce(&inNanoseconds.num, &inNanoseconds.den, 1000000000, nanoseconds, 30000);
  if (av_cmp_q(kept, exact) == 0 || av_cmp_q(kept, inNanoseconds) == 0) return true;
  problem = Format(_("the output's frame rate is %d/%d; the movie's %u/%u"), kept.num, kept.den,
                   rate, scale);
  return false;
}

// Frame index's time in the output against its place in the movie, within
// half a tick of the output's clock.
bool FrameTimeKept(const AVStream* stream, const AVFrame* frame, uint64_t index, uint32_t rate,
                   uint32_t scale, std::string& problem) {
  const int64_t at = frame->best_effort_timestamp;
  const double want = double(index) * scale / rate;
  const double tick = av_q2d(stream->time_base);
  const double have = at == AV_NOPTS_VALUE ? -1 : double(at) * tick;
  if (at != AV_NOPTS_VALUE && std::fabs(have - want) <= 0.5 * tick + 1e-9) return true;
  problem = Format(_("frame %llu is shown at %.6f s instead of %.6f s"),
                   static_cast<unsigned long long>(index), have, want);
  return false;
}

// A movie without frames gives an output with the streams' headers and
// nothing else. This libavformat cannot open a Matroska file without a
// cluster (other readers can): there the header's first bytes are checked.
bool EmptyOutputReads(const std::string& path, bool lossless, std::string& problem) {
  AVFormatContext* format = nullptr;
  int result = avformat_open_input(&format, ("file:" + path).c_str(), nullptr, nullptr);
  if (result >= 0) result = avformat_find_stream_info(format, nullptr);
  if (result >= 0) {
    AVPacket* packet = av_packet_alloc();
    result = packet == nullptr ? AVERROR(ENOMEM) : av_read_frame(format, packet);
    av_packet_free(&packet);
    avformat_close_input(&format);
    if (result == AVERROR_EOF) return true;
    problem = result >= 0 ? _("the output holds frames the movie does not have")
                          : _("cannot read the output") + std::string(": ") + LibraryText(result);
    return false;
  }
  avformat_close_input(&format);
  if (lossless) {
    static const uint8_t kEbml[] = {0x1A, 0x45, 0xDF, 0xA3};
    uint8_t head[64] = {};
    size_t got = 0;
    platform::FileHandle file = platform::kNoFile;
    bool notRegular = false;
    if (platform::OpenForReading(path, file, notRegular) == 0 && file != platform::kNoFile) {
      size_t some = 0;
      while (got < sizeof head && platform::ReadSome(file, head + got, sizeof head - got, some) == 0 &&
             some > 0) {
        got += some;
      }
      platform::CloseFile(file);
    }
    const char kDocType[] = "matroska";
    if (got == sizeof head && std::memcmp(head, kEbml, sizeof kEbml) == 0 &&
        std::search(head, head + got, kDocType, kDocType + 8) != head + got) {
      return true;
    }
  }
  problem = _("cannot read the output") + std::string(": ") + LibraryText(result);
  return false;
}

}  // namespace

VerifyReport VerifyOutput(const std::string& moviePath, const std::string& outputPath,
                          bool lossless, const std::function<bool()>& aborted) {
  VerifyReport report;
  std::unique_ptr<V02Decode> decoder(new V02Decode);
  if (decoder->Open(moviePath) != kMovieOk) {
    decoder->Close();
    report.problem = _("cannot read the movie again");
    return report;
  }
  const MovieParameters movie = decoder->Parameters();
  const uint32_t frameCount = movie.frameCount;
  const uint32_t rate = movie.rate;
  const uint32_t scale = movie.scale;
  const int width = static_cast<int>(movie.width);
  const int height = static_cast<int>(movie.height);
  const size_t blockSamples = movie.soundBlockBytes / 2;
  const bool hasSound = movie.soundRate != 0 && blockSamples != 0;

  if (frameCount == 0) {
    decoder->Close();
    report.ok = EmptyOutputReads(outputPath, lossless, report.problem);
    return report;
  }
  PictureReader pictures(lossless);
  SampleReader samples;
  SoundMatch sound;
  PlaneError error;
  if (!lossless && !error.Open(width, height)) {
    decoder->Close();
    report.problem = _("cannot convert the movie's pictures");
    return report;
  }
  if (!pictures.Open(outputPath, report.problem) ||
      (lossless && !FrameRateKept(pictures.Stream().stream(), rate, scale, report.problem)) ||
      (hasSound && lossless && !samples.Open(outputPath, report.problem)) ||
      (hasSound && !lossless &&
       !sound.Open(outputPath, static_cast<int>(movie.soundRate), report.problem))) {
    decoder->Close();
    return report;
  }
  if (hasSound && lossless) {
    const AVStream* stream = samples.Stream().stream();
    if (stream->codecpar->sample_rate < 0 ||
        static_cast<uint32_t>(stream->codecpar->sample_rate) != movie.soundRate) {
      report.problem = Format(_("the output's sound rate is %d Hz; the movie's %u Hz"),
                              stream->codecpar->sample_rate, movie.soundRate);
      decoder->Close();
      return report;
    }
  }

  uint64_t movieSamples = 0;
  ChunkWalk walk(*decoder);
  while (!walk.Done() && report.problem.empty()) {
    if (walk.Next() != kMovieOk) {
      report.problem = _("cannot read the movie again");
      break;
    }
    for (uint32_t j = 0; j < walk.Frames(); ++j) {
      if (aborted && aborted()) {
        report.aborted = true;
        report.problem = _("the verification was interrupted");
        break;
      }
      const int got = pictures.Next(report.problem);
      if (got < 0) break;
      if (got == 0) {
        report.problem = Format(_("the output ends after %llu frames; the movie has %u"),
                                static_cast<unsigned long long>(report.frames), frameCount);
        break;
      }
      // An odd size stands padded to an even one in 4:2:0 outputs.
      const bool sizeOk = lossless ? pictures.Width() == width && pictures.Height() == height
                                   : pictures.Width() >= width && pictures.Height() >= height &&
                                         pictures.Width() <= width + 1 &&
                                         pictures.Height() <= height + 1;
      if (!sizeOk) {
        report.problem = Format(_("the output's frames are %d x %d; the movie's %d x %d"),
                                pictures.Width(), pictures.Height(), width, height);
        break;
      }
      if (!FrameTimeKept(pictures.Stream().stream(), pictures.Decoded(), report.frames, rate,
                         scale, report.problem)) {
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
          report.problem = Format(_("frame %llu differs at pixel (%d, %d)"),
                                  static_cast<unsigned long long>(report.frames), x, y);
        }
      }
      if (!report.problem.empty()) break;
      ++report.frames;
    }
    if (!report.problem.empty() || !hasSound) continue;
    const int16_t* block = decoder->soundBlock.get();
    if (!lossless) {
      sound.Add(block, blockSamples, report.problem);
      movieSamples += blockSamples;
      continue;
    }
    for (size_t i = 0; i < blockSamples; ++i, ++movieSamples) {
      int16_t sample = 0;
      const int got = samples.Next(sample, report.problem);
      if (got < 0) break;
      if (got == 0) {
        report.problem = Format(_("the output's sound ends after %llu samples"),
                                static_cast<unsigned long long>(movieSamples));
        break;
      }
      if (sample != block[i]) {
        report.problem = Format(_("sound sample %llu differs: %d instead of %d"),
                                static_cast<unsigned long long>(movieSamples), sample, block[i]);
        break;
      }
    }
  }
  report.samples = lossless ? movieSamples : sound.Compared();
  decoder->Close();
  if (!report.problem.empty()) return report;

  const int more = pictures.Next(report.problem);
  if (more < 0) return report;
  if (more > 0) {
    report.problem = Format(_("the output holds more than the movie's %u frames"), frameCount);
    return report;
  }
  if (hasSound && lossless) {
    int16_t sample = 0;
    const int extra = samples.Next(sample, report.problem);
    if (extra < 0) return report;
    if (extra > 0) {
      report.problem = Format(_("the output holds more than the movie's %llu samples"),
                              static_cast<unsigned long long>(movieSamples));
      return report;
    }
  }

  const AVStream* video = pictures.Stream().stream();
  const double expected = double(frameCount) * scale / rate;
  report.seconds =
      video->duration != AV_NOPTS_VALUE ? double(video->duration) * av_q2d(video->time_base) : expected;
  if (!lossless) {
    // Half a frame either way: containers round their clocks.
    const double tolerance = 0.5 * scale / rate;
    if (std::fabs(report.seconds - expected) > tolerance) {
      report.problem = Format(_("the output lasts %.3f s; the movie %.3f s"), report.seconds, expected);
      return report;
    }
    report.psnr = error.Psnr();
    if (hasSound) {
      if (!sound.Finish(report.problem)) return report;
      report.silentSound = sound.MovieSilent();
      report.soundCorrelation = sound.Correlation();
      if (report.silentSound ? !sound.OutputSilent()
                             : report.soundCorrelation < kMinSoundCorrelation) {
        report.problem = report.silentSound
                             ? std::string(_("the output's sound is not silent like the movie's"))
                             : Format(_("the output's sound differs from the movie's "
                                        "(correlation %.3f, at least %.1f expected)"),
                                      report.soundCorrelation, kMinSoundCorrelation);
        return report;
      }
    }
  }
  report.ok = true;
  return report;
}

std::string DescribeVerified(const VerifyReport& report, bool lossless) {
  if (report.frames == 0) return _("verified: no frames, and the output reads as such");
  if (lossless) {
    return Format(_("verified: %llu frames, %llu samples identical"),
                  static_cast<unsigned long long>(report.frames),
                  static_cast<unsigned long long>(report.samples));
  }
  std::string text =
      std::isinf(report.psnr)
          ? Format(_("verified: %llu frames, %.2f s, frames identical"),
                   static_cast<unsigned long long>(report.frames), report.seconds)
          : Format(_("verified: %llu frames, %.2f s, PSNR %.1f dB"),
                   static_cast<unsigned long long>(report.frames), report.seconds, report.psnr);
  if (report.silentSound) {
    text += _(", silence as in the movie");
  } else if (report.samples != 0) {
    text += Format(_(", sound correlation %.3f"), report.soundCorrelation);
  }
  return text;
}
