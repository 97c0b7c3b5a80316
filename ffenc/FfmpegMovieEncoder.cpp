#include "ffenc/FfmpegMovieEncoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "v02dec/TBitmap.h"

namespace {

// The output's buffer: large enough that the muxers' small header writes and
// seeks cost few system calls, small against the frames themselves.
constexpr int kIoBufferBytes = 1 << 18;

// FFV1 version 3 cuts every frame into slices that are coded, checked (each
// with its own CRC) and decoded independently, so both cores share a frame.
constexpr int kFfv1Slices = 4;
constexpr int kAacBitRate = 128000;

int WritePacket(void* opaque, uint8_t* data, int size) {
  return static_cast<FfmpegMovieEncoder*>(opaque)->WriteBytes(data, size);
}

int64_t SeekOutput(void* opaque, int64_t offset, int whence) {
  return static_cast<FfmpegMovieEncoder*>(opaque)->Seek(offset, whence);
}

std::string LibraryText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The AAC encoder takes a fixed list of rates; any other is resampled to the
// nearest of them.
int NearestRate(const AVCodec* codec, int rate) {
  if (codec->supported_samplerates == nullptr) return rate;
  int best = 0;
  for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
    if (best == 0 || std::llabs(int64_t{*r} - rate) < std::llabs(int64_t{best} - rate)) best = *r;
  }
  return best;
}

}  // namespace

FfmpegMovieEncoder::FfmpegMovieEncoder(FfmpegFormat format, int crf)
    : format_(format), crf_(crf) {}

FfmpegMovieEncoder::~FfmpegMovieEncoder() {
  if (open_) Close();
  Release();
}

const char* FfmpegMovieEncoder::Extension() const {
  return format_ == FfmpegFormat::kMkv ? ".mkv" : ".mp4";
}

bool FfmpegMovieEncoder::Fail(int code) {
  return Fail(ioErrno_ != 0 ? std::string(std::strerror(ioErrno_)) : LibraryText(code));
}

bool FfmpegMovieEncoder::Fail(const std::string& text) {
  if (!failed_) cause_ = text;
  failed_ = true;
  return false;
}

int FfmpegMovieEncoder::WriteBytes(const uint8_t* data, int size) {
  if (ioErrno_ != 0) return AVERROR(ioErrno_);
  int left = size;
  while (left > 0) {
    const ssize_t n = write(fd_, data, static_cast<size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      ioErrno_ = errno;
      return AVERROR(ioErrno_);
    }
    data += n;
    left -= static_cast<int>(n);
  }
  return size;
}

int64_t FfmpegMovieEncoder::Seek(int64_t offset, int whence) {
  if (whence & AVSEEK_SIZE) {
    struct stat info {};
    return fstat(fd_, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
  }
  const off_t at = lseek(fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
}

MovieEncoder::OpenResult FfmpegMovieEncoder::Open(const char* path, const Shape& shape,
                                                  bool mayReplace) {
  if (open_) Close();
  Release();
  shape_ = shape;
  path_ = path;
  failed_ = false;
  headerWritten_ = false;
  ioErrno_ = 0;
  cause_.clear();
  framePts_ = 0;
  samplePts_ = 0;
  soundLag_ = 0;

  if (shape.width == 0 || shape.height == 0 || shape.width > INT_MAX / 4 ||
      shape.height > INT_MAX / 4 || shape.rate == 0 || shape.scale == 0 ||
      shape.rate > INT_MAX || shape.scale > INT_MAX || shape.soundRate > INT_MAX) {
    Fail(std::string(std::strerror(EINVAL)));
    return OpenResult::kFailed;
  }

  // Without consent to replace, the file is created exclusively: one that
  // appeared since the driver looked is left as it is.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mayReplace ? O_TRUNC : O_EXCL);
  fd_ = open(path, flags, 0666);
  if (fd_ < 0) {
    const int error = errno;
    Fail(std::string(std::strerror(error)));
    return !mayReplace && error == EEXIST ? OpenResult::kExists : OpenResult::kFailed;
  }
  open_ = true;

  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  io_ = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, WritePacket,
                                    SeekOutput)
               : nullptr;
  if (io_ == nullptr) {
    av_free(buffer);
    Fail(AVERROR(ENOMEM));
  }
  const char* muxerName = format_ == FfmpegFormat::kMkv ? "matroska" : "mp4";
  if (!failed_) {
    const int result = avformat_alloc_output_context2(&muxer_, nullptr, muxerName, nullptr);
    if (result < 0) Fail(result);
  }
  if (!failed_) {
    muxer_->pb = io_;
    // The MP4 muxer reads the file back by name to move its index to the
    // front; "file:" keeps a name holding ':' from being taken for a protocol.
    muxer_->url = av_strdup((std::string("file:") + path).c_str());
    if (muxer_->url == nullptr) Fail(AVERROR(ENOMEM));
  }
  if (!failed_ && OpenVideo() && (shape.soundRate == 0 || shape.soundBlockBytes < 2 || OpenAudio())) {
    AVDictionary* options = nullptr;
    if (format_ == FfmpegFormat::kMp4) av_dict_set(&options, "movflags", "+faststart", 0);
    const int result = avformat_write_header(muxer_, &options);
    av_dict_free(&options);
    if (result < 0) Fail(result);
    headerWritten_ = result >= 0;
  }
  if (!failed_) packet_ = av_packet_alloc();
  if (!failed_ && packet_ == nullptr) Fail(AVERROR(ENOMEM));
  if (failed_) {
    Close();
    return OpenResult::kFailed;
  }
  return OpenResult::kOk;
}

bool FfmpegMovieEncoder::OpenVideo() {
  const bool master = format_ == FfmpegFormat::kMkv;
  const AVCodec* codec =
      master ? avcodec_find_encoder(AV_CODEC_ID_FFV1) : avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) return Fail(AVERROR_ENCODER_NOT_FOUND);
  video_ = avcodec_alloc_context3(codec);
  videoStream_ = avformat_new_stream(muxer_, nullptr);
  if (video_ == nullptr || videoStream_ == nullptr) return Fail(AVERROR(ENOMEM));

  const int width = static_cast<int>(shape_.width);
  const int height = static_cast<int>(shape_.height);
  // 4:2:0 holds whole pairs of rows and columns: an odd size gains one row or
  // column repeating its edge.
  video_->width = master ? width : (width + 1) & ~1;
  video_->height = master ? height : (height + 1) & ~1;
  // BGR0 holds every 24-bit frame exactly; FFV1 codes it losslessly as RGB.
  video_->pix_fmt = master ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
  av_reduce(&video_->time_base.num, &video_->time_base.den, shape_.scale, shape_.rate, INT_MAX);
  video_->framerate = av_inv_q(video_->time_base);
  video_->thread_count = 0;  // one thread per core
  if (master) {
    video_->level = 3;
    video_->gop_size = 1;
    video_->slices = kFfv1Slices;
    video_->thread_type = FF_THREAD_SLICE;
    av_opt_set_int(video_->priv_data, "slicecrc", 1, 0);
  } else {
    av_opt_set(video_->priv_data, "preset", "medium", 0);
    av_opt_set(video_->priv_data, "profile", "high", 0);
    av_opt_set_double(video_->priv_data, "crf", crf_, 0);
  }
  if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(video_, codec, nullptr);
  if (result >= 0) result = avcodec_parameters_from_context(videoStream_->codecpar, video_);
  if (result < 0) return Fail(result);
  videoStream_->time_base = video_->time_base;
  videoStream_->avg_frame_rate = video_->framerate;
  videoStream_->r_frame_rate = video_->framerate;

  for (AVFrame*& picture : pictures_) {
    picture = av_frame_alloc();
    if (picture == nullptr) return Fail(AVERROR(ENOMEM));
    picture->format = video_->pix_fmt;
    picture->width = video_->width;
    picture->height = video_->height;
    result = av_frame_get_buffer(picture, 0);
    if (result < 0) return Fail(result);
  }
  scaler_ = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, video_->pix_fmt,
                           SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (scaler_ == nullptr) return Fail(AVERROR(ENOMEM));
  return true;
}

bool FfmpegMovieEncoder::OpenAudio() {
  const bool master = format_ == FfmpegFormat::kMkv;
  const AVCodec* codec = avcodec_find_encoder(master ? AV_CODEC_ID_FLAC : AV_CODEC_ID_AAC);
  if (codec == nullptr) return Fail(AVERROR_ENCODER_NOT_FOUND);
  audio_ = avcodec_alloc_context3(codec);
  audioStream_ = avformat_new_stream(muxer_, nullptr);
  if (audio_ == nullptr || audioStream_ == nullptr) return Fail(AVERROR(ENOMEM));
  const int inRate = static_cast<int>(shape_.soundRate);
  const int outRate = master ? inRate : NearestRate(codec, inRate);
  audio_->sample_fmt = master ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
  audio_->sample_rate = outRate;
  av_channel_layout_default(&audio_->ch_layout, 1);
  audio_->time_base = AVRational{1, outRate};
  // AAC holds at most 6144 bits per channel in a frame of 1024 samples.
  if (!master) audio_->bit_rate = std::min<int64_t>(kAacBitRate, int64_t{6} * outRate);
  if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(audio_, codec, nullptr);
  if (result >= 0) result = avcodec_parameters_from_context(audioStream_->codecpar, audio_);
  if (result < 0) return Fail(result);
  audioStream_->time_base = audio_->time_base;

  const int frameSamples = audio_->frame_size > 0 ? audio_->frame_size : 4096;
  for (AVFrame*& sound : sounds_) {
    sound = av_frame_alloc();
    if (sound == nullptr) return Fail(AVERROR(ENOMEM));
    sound->format = audio_->sample_fmt;
    sound->sample_rate = outRate;
    sound->nb_samples = frameSamples;
    result = av_channel_layout_copy(&sound->ch_layout, &audio_->ch_layout);
    if (result >= 0) result = av_frame_get_buffer(sound, 0);
    if (result < 0) return Fail(result);
  }

  const int blockSamples = static_cast<int>(shape_.soundBlockBytes / 2);
  soundLag_ = av_rescale(blockSamples, outRate, inRate);
  int queueSamples = blockSamples + frameSamples;
  if (!master) {
    // S16 to the AAC encoder's planar floats, and to its rate where needed.
    result = swr_alloc_set_opts2(&resampler_, &audio_->ch_layout, AV_SAMPLE_FMT_FLTP, outRate,
                                 &audio_->ch_layout, AV_SAMPLE_FMT_S16, inRate, 0, nullptr);
    if (result >= 0) result = swr_init(resampler_);
    if (result < 0) return Fail(result);
    // What one block can yield, with room for the filter's delay.
    stagingSamples_ = static_cast<int>(
        av_rescale_rnd(int64_t{blockSamples} + 64, outRate, inRate, AV_ROUND_UP) + 64);
    result = av_samples_alloc_array_and_samples(&staging_, nullptr, 1, stagingSamples_,
                                                AV_SAMPLE_FMT_FLTP, 0);
    if (result < 0) return Fail(result);
    queueSamples = stagingSamples_ + frameSamples;
  }
  // One block waiting behind the frames while the next one arrives.
  queue_ = av_audio_fifo_alloc(audio_->sample_fmt, 1, 2 * queueSamples);
  if (queue_ == nullptr) return Fail(AVERROR(ENOMEM));
  return true;
}

int FfmpegMovieEncoder::WriteVideo(const void* pixels) {
  if (!open_ || failed_) return 1;
  const int width = static_cast<int>(shape_.width);
  const int height = static_cast<int>(shape_.height);
  const int stride = static_cast<int>(TBitmap::RowBytesFor(shape_.width));
  // The rows arrive bottom row first: the top row is the last, and a negative
  // stride walks up from it.
  const uint8_t* top = static_cast<const uint8_t*>(pixels) + size_t(stride) * (height - 1);
  const uint8_t* source[1] = {top};
  const int sourceStride[1] = {-stride};
  AVFrame* picture = Writable(pictures_);
  if (picture == nullptr) return 1;
  sws_scale(scaler_, source, sourceStride, 0, height, picture->data, picture->linesize);
  if (video_->width > width || video_->height > height) {
    // Only the luma plane needs the repeated edge: the chroma planes already
    // cover the odd row or column, taken from the edge pixels alone.
    uint8_t* luma = picture->data[0];
    const int lumaStride = picture->linesize[0];
    if (video_->width > width) {
      for (int y = 0; y < height; ++y) luma[y * lumaStride + width] = luma[y * lumaStride + width - 1];
    }
    if (video_->height > height) {
      std::memcpy(luma + height * lumaStride, luma + (height - 1) * lumaStride,
                  static_cast<size_t>(video_->width));
    }
  }
  picture->pts = framePts_++;
  if (!SendVideo(picture)) return 1;
  // The sound up to these frames, less the lag, so that the sound encoder's
  // work is spread between the frames instead of holding back the next ones
  // while the video encoder's threads run dry.
  if (audio_ == nullptr) return 0;
  const int64_t until = av_rescale(framePts_, int64_t{audio_->sample_rate} * shape_.scale,
                                   shape_.rate) - soundLag_;
  return SendQueuedAudio(until, false) ? 0 : 1;
}

int FfmpegMovieEncoder::WriteAudio(const void* block) {
  if (!open_ || failed_) return 1;
  if (audio_ == nullptr) return 0;
  const int samples = static_cast<int>(shape_.soundBlockBytes / 2);
  void* input = const_cast<void*>(block);
  if (resampler_ == nullptr) {
    if (!MakeRoom(samples)) return 1;
    if (av_audio_fifo_write(queue_, &input, samples) < samples) return Fail(AVERROR(ENOMEM)), 1;
  } else {
    const uint8_t* in[1] = {static_cast<const uint8_t*>(block)};
    const int made = swr_convert(resampler_, staging_, stagingSamples_, in, samples);
    if (made < 0) return Fail(made), 1;
    if (!MakeRoom(made)) return 1;
    if (av_audio_fifo_write(queue_, reinterpret_cast<void**>(staging_), made) < made) {
      return Fail(AVERROR(ENOMEM)), 1;
    }
  }
  return 0;
}

// The queue never grows: when the frames fall behind the sound (a movie of
// fewer frames than its sound covers), the oldest samples are encoded now.
bool FfmpegMovieEncoder::MakeRoom(int count) {
  const int lacking = count - av_audio_fifo_space(queue_);
  if (lacking <= 0) return true;
  const int frameSamples = audio_->frame_size > 0 ? audio_->frame_size : sounds_[0]->nb_samples;
  const int64_t frames = (lacking + frameSamples - 1) / frameSamples;
  return SendQueuedAudio(samplePts_ + frames * frameSamples, false);
}

bool FfmpegMovieEncoder::SendQueuedAudio(int64_t until, bool last) {
  const int frameSamples = audio_->frame_size > 0 ? audio_->frame_size : sounds_[0]->nb_samples;
  for (;;) {
    const int queued = av_audio_fifo_size(queue_);
    if (queued == 0 || (queued < frameSamples && !last)) return true;
    const int take = queued < frameSamples ? queued : frameSamples;
    if (!last && samplePts_ + take > until) return true;
    AVFrame* sound = Writable(sounds_);
    if (sound == nullptr) return false;
    sound->nb_samples = take;
    const int result = av_audio_fifo_read(queue_, reinterpret_cast<void**>(sound->data), take);
    if (result < take) return Fail(result < 0 ? result : AVERROR_BUG);
    sound->pts = samplePts_;
    samplePts_ += take;
    if (!SendAudio(sound)) return false;
  }
}

AVFrame* FfmpegMovieEncoder::Writable(AVFrame* const* set) {
  for (int i = 0; i < kFrameSet; ++i) {
    if (av_frame_is_writable(set[i])) return set[i];
  }
  // Every frame still held: the library copies one.
  const int result = av_frame_make_writable(set[0]);
  if (result < 0) return Fail(result), nullptr;
  return set[0];
}

bool FfmpegMovieEncoder::SendVideo(AVFrame* frame) {
  const int result = avcodec_send_frame(video_, frame);
  if (result < 0) return Fail(result);
  return Drain(video_, videoStream_);
}

bool FfmpegMovieEncoder::SendAudio(AVFrame* frame) {
  const int result = avcodec_send_frame(audio_, frame);
  if (result < 0) return Fail(result);
  return Drain(audio_, audioStream_);
}

bool FfmpegMovieEncoder::Drain(AVCodecContext* codec, AVStream* stream) {
  for (;;) {
    int result = avcodec_receive_packet(codec, packet_);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return Fail(result);
    av_packet_rescale_ts(packet_, codec->time_base, stream->time_base);
    packet_->stream_index = stream->index;
    result = av_interleaved_write_frame(muxer_, packet_);
    if (result < 0) return Fail(result);
    if (ioErrno_ != 0 || io_->error < 0) return Fail(io_->error < 0 ? io_->error : AVERROR(EIO));
  }
}

// Flushes both encoders, writes the trailer and brings the file to the disk.
bool FfmpegMovieEncoder::Finish() {
  if (audio_ != nullptr) {
    if (resampler_ != nullptr) {
      const int made = swr_convert(resampler_, staging_, stagingSamples_, nullptr, 0);
      if (made < 0) return Fail(made);
      if (av_audio_fifo_write(queue_, reinterpret_cast<void**>(staging_), made) < made) {
        return Fail(AVERROR(ENOMEM));
      }
    }
    if (!SendQueuedAudio(0, true) || !SendAudio(nullptr)) return false;
  }
  if (!SendVideo(nullptr)) return false;
  int result = av_write_trailer(muxer_);
  if (result < 0) return Fail(result);
  avio_flush(io_);
  if (ioErrno_ != 0 || io_->error < 0) return Fail(io_->error < 0 ? io_->error : AVERROR(EIO));
  if (fsync(fd_) != 0) return Fail(std::string(std::strerror(errno)));
  return true;
}

int FfmpegMovieEncoder::Close() {
  if (!open_) return failed_ ? 1 : 0;
  // After a failure of the file itself nothing more can reach it; after one
  // of an encoder the frames before it can still be made a complete file.
  const bool finished =
      headerWritten_ && ioErrno_ == 0 && io_->error == 0 && Finish();
  struct stat ours {};
  const bool known = fstat(fd_, &ours) == 0;
  if (close(fd_) != 0 && finished) Fail(std::string(std::strerror(errno)));
  fd_ = -1;
  open_ = false;
  if (!finished || failed_) {
    // A file that could not be finished is unreadable (an MP4 without its
    // index) or incomplete: removed, as long as the name is still ours.
    struct stat now {};
    if (!finished && known && stat(path_.c_str(), &now) == 0 && now.st_dev == ours.st_dev &&
        now.st_ino == ours.st_ino) {
      unlink(path_.c_str());
    }
  }
  Release();
  return failed_ ? 1 : 0;
}

void FfmpegMovieEncoder::Release() {
  av_packet_free(&packet_);
  for (AVFrame*& picture : pictures_) av_frame_free(&picture);
  for (AVFrame*& sound : sounds_) av_frame_free(&sound);
  avcodec_free_context(&video_);
  avcodec_free_context(&audio_);
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  swr_free(&resampler_);
  if (staging_ != nullptr) {
    av_freep(&staging_[0]);
    av_freep(&staging_);
  }
  if (queue_ != nullptr) {
    av_audio_fifo_free(queue_);
    queue_ = nullptr;
  }
  if (muxer_ != nullptr) {
    muxer_->pb = nullptr;
    avformat_free_context(muxer_);
    muxer_ = nullptr;
  }
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}
