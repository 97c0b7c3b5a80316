#pragma once

#include <cstdint>
#include <string>

#include "batch/MovieEncoder.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct AVStream;
struct AVAudioFifo;
struct SwrContext;
struct SwsContext;

// The two containers FFmpeg's libraries write for us besides the AVI.
enum class FfmpegFormat {
  kMkv,  // archive master: FFV1 version 3 and FLAC, both lossless
  kMp4,  // copy to watch: H.264 (libx264) and AAC, moov atom first
};

// Writes a movie through libavformat and libavcodec. Frames arrive as the
// decoder's bottom-up BGR rows and are converted by libswscale straight from
// them into one frame allocated at Open. A failure of the libraries or of the
// file is kept with the library's own words (FailureCause); an output that
// cannot be finished is removed, so what stays on disk is a complete file.
class FfmpegMovieEncoder final : public MovieEncoder {
 public:
  static constexpr int kDefaultCrf = 18;

  explicit FfmpegMovieEncoder(FfmpegFormat format, int crf = kDefaultCrf);
  ~FfmpegMovieEncoder() override;
  FfmpegMovieEncoder(const FfmpegMovieEncoder&) = delete;
  FfmpegMovieEncoder& operator=(const FfmpegMovieEncoder&) = delete;

  const char* Extension() const override;
  OpenResult Open(const char* path, const Shape& shape, bool mayReplace) override;
  int WriteVideo(const void* pixels) override;
  int WriteAudio(const void* block) override;
  int Close() override;
  std::string FailureCause() const override { return cause_; }

  // Called by the output's write and seek callbacks.
  int WriteBytes(const uint8_t* data, int size);
  int64_t Seek(int64_t offset, int whence);

 private:
  bool OpenVideo();
  bool OpenAudio();
  bool SendVideo(AVFrame* frame);
  bool SendAudio(AVFrame* frame);
  // Encodes the queued samples in whole encoder frames up to sample until
  // (the encoder's rate), and with last the rest as well.
  bool SendQueuedAudio(int64_t until, bool last);
  // Room in the queue for count more samples.
  bool MakeRoom(int count);
  AVFrame* Writable(AVFrame* const* set);
  bool Drain(AVCodecContext* codec, AVStream* stream);
  bool Finish();
  // Keeps the first failure: the library's text for code, or text itself.
  bool Fail(int code);
  bool Fail(const std::string& text);
  void Release();

  FfmpegFormat format_;
  int crf_;
  Shape shape_;
  std::string path_;
  int fd_ = -1;
  int ioErrno_ = 0;
  bool failed_ = false;
  bool open_ = false;
  bool headerWritten_ = false;
  std::string cause_;

  AVIOContext* io_ = nullptr;
  AVFormatContext* muxer_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  // An encoder may keep a reference to the frame it was given last (FFV1
  // does): a few frames, each one taken again once the encoder let go of it.
  static constexpr int kFrameSet = 3;
  AVFrame* pictures_[kFrameSet] = {};  // the encoder's pixel format and (padded) size
  AVFrame* sounds_[kFrameSet] = {};    // one encoder frame of samples each
  AVPacket* packet_ = nullptr;
  SwsContext* scaler_ = nullptr;
  SwrContext* resampler_ = nullptr;
  AVAudioFifo* queue_ = nullptr;  // samples waiting for a whole encoder frame
  uint8_t** staging_ = nullptr;   // resampler output of one sound block
  int stagingSamples_ = 0;
  int64_t framePts_ = 0;
  int64_t samplePts_ = 0;
  // A chunk's sound arrives after its frames: it is encoded this many samples
  // behind the frames, spread over the next chunk's frames.
  int64_t soundLag_ = 0;
};
