#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "batch/MovieEncoder.h"
#include "platform/FileAccess.h"
#include "platform/Files.h"

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
// them into one frame allocated at Open. Every setting is checked and every
// encoder opened before the file is created, so a movie or a setting the
// libraries refuse leaves the disk as it was (OpenResult::kRefused). A
// failure of the libraries or of the file is kept with the library's own
// words (FailureCause); an output that cannot be finished is removed, so
// what stays on disk is a complete file.
//
// Both containers carry the converter's name and version ("description",
// "porute2avi 1.0", as --version says; "encoder" is libavformat's own) and the
// source movie's file name and SHA-256 ("comment", as "source: NAME sha256:
// HEX"), so that a file stays traceable on its own.
class FfmpegMovieEncoder final : public MovieEncoder {
 public:
  // H.264 quality (--crf): the range libx264 takes; 0 is lossless and is
  // written in the High 4:4:4 Predictive profile, the others in High.
  static constexpr int kMinCrf = 0;
  static constexpr int kMaxCrf = 51;
  static constexpr int kDefaultCrf = 18;

  explicit FfmpegMovieEncoder(FfmpegFormat format, int crf = kDefaultCrf);

  // Why a movie of this shape cannot be written in format with quality crf,
  // in the words the user is shown (the libraries' own where they refused);
  // empty when it can. Open refuses exactly the same movies with the same
  // cause: it runs the same checks and opens the same encoders, here without
  // any file.
  static std::string Refusal(FfmpegFormat format, const Shape& shape, int crf = kDefaultCrf);

  // The encoders behind the windows' format list ("AVI", "MKV", "MP4", by
  // index), each with its default quality: empty for AVI, the batch
  // driver's own encoder.
  static std::function<std::unique_ptr<MovieEncoder>()> FactoryForFormatChoice(int index);

  void SetSource(const std::string& inputPath) override { source_ = inputPath; }
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
  // The shape checks and every encoder, scaler and resampler opened, all
  // before a file exists; false with cause_ set.
  bool Prepare(const Shape& shape);
  bool HasSound() const;
  bool TagSource();
  bool OpenVideo();
  bool OpenAudio();
  bool SendVideo(AVFrame* frame);
  bool SendAudio(AVFrame* frame);
  // Encodes the queued samples in whole encoder frames up to sample until
  // (the encoder's rate), and with last the rest as well.
  bool SendQueuedAudio(int64_t until, bool last);
  // Queues the first count samples the resampler gave.
  bool QueueResampled(int count);
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
  std::string source_;
  // The output, written through the platform's file layer at positions this
  // encoder keeps itself: the muxer seeks back to fill in sizes and indexes.
  platform::FileHandle file_ = platform::kNoFile;
  platform::FileIdentity identity_;
  bool identityKnown_ = false;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  int ioErrno_ = 0;
  bool failed_ = false;
  bool open_ = false;
  bool headerWritten_ = false;
  bool probing_ = false;  // Refusal's: encoders without frames or file
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
  int64_t inputSamples_ = 0;      // the movie's samples given to the resampler
  int64_t resampledSamples_ = 0;  // and the samples queued from it
};
