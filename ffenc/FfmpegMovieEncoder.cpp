#include "ffenc/FfmpegMovieEncoder.h"


#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "cli/Gettext.h"
#include "digest/Sha256.h"
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

// Tags hold UTF-8 text; a name in another encoding (Shift-JIS from an old
// disc) keeps each byte that is not part of a UTF-8 sequence as "\xNN", so
// the tag still leads back to the exact name.
std::string ValidUtf8(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                    : (lead >> 3) == 0x1E ? 4 : 0;
    if (lead < 0x20 || lead == 0x7F || lead == '\\') length = 0;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= bytes.size() || (static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) length = 0;
    }
    if (length == 0) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", lead);
      text += escaped;
      ++i;
    } else {
      text.append(bytes, i, length);
      i += length;
    }
  }
  return text;
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
  const int error = platform::WriteAllAt(file_, data, static_cast<size_t>(size), position_);
  if (error != 0) {
    ioErrno_ = error;
    return AVERROR(ioErrno_);
  }
  position_ += static_cast<uint64_t>(size);
  size_ = std::max(size_, position_);
  return size;
}

int64_t FfmpegMovieEncoder::Seek(int64_t offset, int whence) {
  if (whence & AVSEEK_SIZE) return static_cast<int64_t>(size_);
  int64_t from = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: from = 0; break;
    case SEEK_CUR: from = static_cast<int64_t>(position_); break;
    case SEEK_END: from = static_cast<int64_t>(size_); break;
    default: return AVERROR(EINVAL);
  }
  if (offset < -from) return AVERROR(EINVAL);
  position_ = static_cast<uint64_t>(from + offset);
  return static_cast<int64_t>(position_);
}

std::string FfmpegMovieEncoder::Refusal(FfmpegFormat format, const Shape& shape, int crf) {
  FfmpegMovieEncoder probe(format, crf);
  probe.probing_ = true;
  return probe.Prepare(shape) ? std::string() : probe.cause_;
}

std::function<std::unique_ptr<MovieEncoder>()> FfmpegMovieEncoder::FactoryForFormatChoice(
    int index) {
  if (index != 1 && index != 2) return nullptr;
  const FfmpegFormat format = index == 1 ? FfmpegFormat::kMkv : FfmpegFormat::kMp4;
  return [format] {
    return std::unique_ptr<MovieEncoder>(new (std::nothrow) FfmpegMovieEncoder(format));
  };
}

bool FfmpegMovieEncoder::Prepare(const Shape& shape) {
  shape_ = shape;
  if (shape.width == 0 || shape.height == 0 || shape.width > INT_MAX / 4 ||
      shape.height > INT_MAX / 4) {
    return Fail(_("the frame size cannot be encoded"));
  }
  // The containers keep the frame rate exactly only as a fraction of two
  // 31-bit numbers.
  AVRational frameTime{};
  if (shape.rate == 0 || shape.scale == 0 ||
      !av_reduce(&frameTime.num, &frameTime.den, shape.scale, shape.rate, INT_MAX)) {
    return Fail(_("the frame rate cannot be kept exactly"));
  }
  if (format_ == FfmpegFormat::kMp4) {
    // MP4 keeps a frame's duration and the gap between its decoding and
    // showing (two frames with H.264's B-frames) as signed 32-bit counts of
    // the track's clock, which ticks at least 10000 times a second (the
    // muxer doubles a coarser one): past that a player misplaces or hides
    // frames.
    int64_t ticks = frameTime.den;
    while (ticks < 10000) ticks *= 2;
    if (av_rescale(4 * int64_t{frameTime.num}, ticks, frameTime.den) > INT32_MAX) {
      return Fail(_("a frame lasts too long for MP4"));
    }
  }
  if (shape.soundRate > INT_MAX) return Fail(_("the sound rate cannot be encoded"));
  if (crf_ < kMinCrf || crf_ > kMaxCrf) return Fail(_("the H.264 quality must be 0 to 51"));

  const char* muxerName = format_ == FfmpegFormat::kMkv ? "matroska" : "mp4";
  const int result = avformat_alloc_output_context2(&muxer_, nullptr, muxerName, nullptr);
  if (result < 0) return Fail(result);
  return OpenVideo() && (!HasSound() || OpenAudio());
}

bool FfmpegMovieEncoder::HasSound() const {
  return shape_.soundRate != 0 && shape_.soundBlockBytes >= 2;
}

bool FfmpegMovieEncoder::TagSource() {
  // "encoder" is the muxer's own; "description" survives in both containers.
  const std::string converter = std::string("porute2avi ") + kProgramVersion;
  if (av_dict_set(&muxer_->metadata, "description", converter.c_str(), 0) < 0) {
    return Fail(AVERROR(ENOMEM));
  }
  if (source_.empty()) return true;
  int error = 0;
  const std::string digest = Sha256OfFile(source_, &error);
  if (digest.empty()) {
    return Fail(std::string(_("cannot read the movie for its checksum")) + ": " +
                std::strerror(error != 0 ? error : EIO));
  }
  const std::string name = ValidUtf8(FileNamePart(source_));
  const std::string comment = "source: " + name + " sha256: " + digest;
  if (av_dict_set(&muxer_->metadata, "comment", comment.c_str(), 0) < 0) {
    return Fail(AVERROR(ENOMEM));
  }
  return true;
}

MovieEncoder::OpenResult FfmpegMovieEncoder::Open(const char* path, const Shape& shape,
                                                  bool mayReplace) {
  if (open_) Close();
  Release();
  path_ = path;
  failed_ = false;
  headerWritten_ = false;
  ioErrno_ = 0;
  cause_.clear();
  framePts_ = 0;
  samplePts_ = 0;
  soundLag_ = 0;
  inputSamples_ = 0;
  resampledSamples_ = 0;

  if (!Prepare(shape)) {
    Release();
    return OpenResult::kRefused;
  }
  if (!TagSource()) {
    Release();
    return OpenResult::kFailed;
  }

  // Without consent to replace, the file is created exclusively: one that
  // appeared since the driver looked is left as it is.
  position_ = 0;
  size_ = 0;
  const int error = platform::CreateForWriting(path, !mayReplace, file_);
  if (error != 0) {
    file_ = platform::kNoFile;
    Fail(std::string(std::strerror(error)));
    Release();
    return !mayReplace && error == EEXIST ? OpenResult::kExists : OpenResult::kFailed;
  }
  open_ = true;
  identityKnown_ = platform::IdentityOf(path_, identity_);

  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
  io_ = buffer ? avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, WritePacket,
                                    SeekOutput)
               : nullptr;
  if (io_ == nullptr) {
    av_free(buffer);
    Fail(AVERROR(ENOMEM));
  }
  if (!failed_) {
    muxer_->pb = io_;
    // The MP4 muxer reads the file back by name to move its index to the
    // front; "file:" keeps a name holding ':' from being taken for a protocol.
    muxer_->url = av_strdup((std::string("file:") + path).c_str());
    if (muxer_->url == nullptr) Fail(AVERROR(ENOMEM));
  }
  if (!failed_) {
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
  videoStream_ = avformat_new_stream(muxer_, nullptr);
  if (videoStream_ == nullptr) return Fail(AVERROR(ENOMEM));

  const int width = static_cast<int>(shape_.width);
  const int height = static_cast<int>(shape_.height);
  // FFV1 bounds the bytes of one slice: a frame too large for the few slices
  // that keep both cores busy is cut into as many as the encoder needs (0
  // lets it pick the fewest that fit). x264 is opened once.
  int result = 0;
  for (const int slices : {kFfv1Slices, 0}) {
    avcodec_free_context(&video_);
    video_ = avcodec_alloc_context3(codec);
    if (video_ == nullptr) return Fail(AVERROR(ENOMEM));
    // 4:2:0 holds whole pairs of rows and columns: an odd size gains one row
    // or column repeating its edge.
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
      video_->slices = slices;
      video_->thread_type = FF_THREAD_SLICE;
      av_opt_set_int(video_->priv_data, "slicecrc", 1, 0);
    } else {
      // x264 codes lossless (quality 0) only in the High 4:4:4 Predictive
      // profile, which ffprobe and GStreamer's and FFmpeg's decoders play.
      av_opt_set(video_->priv_data, "preset", "medium", 0);
      av_opt_set(video_->priv_data, "profile", crf_ == 0 ? "high444" : "high", 0);
      result = av_opt_set_double(video_->priv_data, "crf", crf_, 0);
      if (result < 0) return Fail(result);
    }
    if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    result = avcodec_open2(video_, codec, nullptr);
    if (!master || result != AVERROR(ENOSYS)) break;
  }
  if (result >= 0) result = avcodec_parameters_from_context(videoStream_->codecpar, video_);
  if (result < 0) return Fail(result);
  videoStream_->time_base = video_->time_base;
  videoStream_->avg_frame_rate = video_->framerate;
  videoStream_->r_frame_rate = video_->framerate;

  scaler_ = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, video_->pix_fmt,
                           SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (scaler_ == nullptr) return Fail(AVERROR(ENOMEM));
  // A probe opens the encoders only: the frames (three of up to 256 MiB)
  // are what a conversion needs.
  if (probing_) return true;
  for (AVFrame*& picture : pictures_) {
    picture = av_frame_alloc();
    if (picture == nullptr) return Fail(AVERROR(ENOMEM));
    picture->format = video_->pix_fmt;
    picture->width = video_->width;
    picture->height = video_->height;
    result = av_frame_get_buffer(picture, 0);
    if (result < 0) return Fail(result);
  }
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

  // The queue holds two blocks, counted in an int by the libraries: a movie
  // of very long chunks (a rare frame rate with many frames per chunk)
  // is refused in our words rather than failing an allocation.
  const int64_t blockSamples64 = shape_.soundBlockBytes / 2;
  const int64_t stagingBound = av_rescale_rnd(blockSamples64 + 64, outRate, inRate, AV_ROUND_UP) + 64;
  if (2 * (std::max(blockSamples64, stagingBound) + frameSamples) > INT_MAX / 4) {
    return Fail(_("a chunk's sound is too long to encode"));
  }
  const int blockSamples = static_cast<int>(blockSamples64);
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
    inputSamples_ += samples;
    if (!QueueResampled(made)) return 1;
  }
  return 0;
}

bool FfmpegMovieEncoder::QueueResampled(int count) {
  if (!MakeRoom(count)) return false;
  if (av_audio_fifo_write(queue_, reinterpret_cast<void**>(staging_), count) < count) {
    return Fail(AVERROR(ENOMEM));
  }
  resampledSamples_ += count;
  return true;
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
    // The resampler holds back the last samples until its filter has seen
    // what follows them; silence after the end gives it that, and the sound
    // is cut at the length the movie's own gives at the new rate.
    const int64_t wanted = av_rescale_rnd(inputSamples_, audio_->sample_rate,
                                          shape_.soundRate, AV_ROUND_NEAR_INF);
    static const int16_t kSilence[256] = {};
    for (int round = 0; resampler_ != nullptr && resampledSamples_ < wanted; ++round) {
      const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(kSilence)};
      const int made = swr_convert(resampler_, staging_, stagingSamples_, in, 256);
      if (made < 0) return Fail(made);
      if (round > 64) return Fail(AVERROR_BUG);
      if (!QueueResampled(static_cast<int>(std::min<int64_t>(made, wanted - resampledSamples_)))) {
        return false;
      }
    }
    if (!SendQueuedAudio(0, true) || !SendAudio(nullptr)) return false;
  }
  if (!SendVideo(nullptr)) return false;
  int result = av_write_trailer(muxer_);
  if (result < 0) return Fail(result);
  avio_flush(io_);
  if (ioErrno_ != 0 || io_->error < 0) return Fail(io_->error < 0 ? io_->error : AVERROR(EIO));
  const int error = platform::SyncOpenFile(file_);
  if (error != 0) return Fail(std::string(std::strerror(error)));
  return true;
}

int FfmpegMovieEncoder::Close() {
  if (!open_) return failed_ ? 1 : 0;
  // After a failure of the file itself nothing more can reach it; after one
  // of an encoder the frames before it can still be made a complete file.
  const bool finished =
      headerWritten_ && ioErrno_ == 0 && io_->error == 0 && Finish();
  const int closeError = platform::CloseFile(file_);
  if (closeError != 0 && finished) Fail(std::string(std::strerror(closeError)));
  file_ = platform::kNoFile;
  open_ = false;
  // A file that could not be finished is unreadable (an MP4 without its
  // index) or incomplete: removed, as long as the name is still ours.
  platform::FileIdentity now;
  if (!finished && identityKnown_ && platform::IdentityOf(path_, now) && now == identity_) {
    platform::RemoveName(path_);
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
  if (file_ != platform::kNoFile) {
    platform::CloseFile(file_);
    file_ = platform::kNoFile;
  }
}
