#include "avienc/AVIencode.h"

#include <cerrno>
#include <cstring>

#include "avifile/AviFileLimits.h"
#include "v02dec/TBitmap.h"

namespace {

constexpr DWORD kDefaultQuality = 0xFFFFFFFF;  // -1: the service's default
// OF_WRITE | OF_SHARE_DENY_NONE | OF_CREATE: create anew, replacing a file.
constexpr UINT kCreateMode = OF_WRITE | OF_SHARE_DENY_NONE | OF_CREATE;

void SetName(AVISTREAMINFOA& info, const char* name) {
  std::strncpy(info.szName, name, sizeof info.szName - 1);
}

}  // namespace

// Every value that the file will hold for these parameters must fit its
// field, formed in 64 bits: parameters beyond are refused, never written
// wrapped or cut.
const char* AviRefusal(const MovieParameters& m) {
  constexpr uint64_t kMax32 = 0xFFFFFFFFu;
  // Chunk sizes and stream positions are signed 32-bit counts.
  constexpr uint64_t kMaxLong = 0x7FFFFFFF;
  const uint64_t frameBytes = uint64_t{TBitmap::RowBytesFor(m.width)} * m.height;
  if (frameBytes > kMaxLong) return "a frame is larger than an AVI chunk can hold";
  if (m.soundBlockBytes > kMaxLong) return "a chunk's sound is larger than an AVI chunk can hold";
  if (m.frameCount > kMaxLong) return "more frames than an AVI stream can count";
  if (m.rate != 0 && uint64_t{m.frameCount} * m.soundRate * m.scale / m.rate > kMaxLong) {
    return "more sound samples than an AVI stream can count";
  }
  // nAvgBytesPerSec: 2 bytes per sample.
  if (2 * uint64_t{m.soundRate} > kMax32) return "a sound rate higher than an AVI header can hold";
  // The frame rectangle of the stream header is four signed 16-bit values.
  if (m.width > INT16_MAX || m.height > INT16_MAX) {
    return "a frame wider or taller than an AVI header can hold";
  }
  if (m.rate != 0) {
    // The main header: microseconds per frame, and the bytes per second of
    // both streams together.
    if ((uint64_t{1000000} * m.scale + m.rate / 2) / m.rate > kMax32) {
      return "a frame lasts longer than an AVI header can hold";
    }
    const uint64_t videoPerSec = m.scale == 0 ? 0 : (frameBytes * m.rate + m.scale - 1) / m.scale;
    if (videoPerSec + 2 * uint64_t{m.soundRate} > kMax32) {
      return "more bytes per second than an AVI header can hold";
    }
  }
  return nullptr;
}

void AVIencode::SetStreamInfo() {
  std::memset(&videoStreamInfo, 0, sizeof videoStreamInfo);
  videoStreamInfo.fccType = streamtypeVIDEO;
  videoStreamInfo.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  videoStreamInfo.dwScale = movie.scale;
  videoStreamInfo.dwRate = movie.rate;
  videoStreamInfo.dwLength = movie.frameCount;
  videoStreamInfo.dwQuality = kDefaultQuality;
  videoStreamInfo.dwSampleSize = 0;
  videoStreamInfo.rcFrame = {0, 0, static_cast<LONG>(movie.width), static_cast<LONG>(movie.height)};
  SetName(videoStreamInfo, "Video");

  // frame count x sound rate x scale exceeds 32 bits for long movies at high
  // sound rates (36,000 frames at 22,050 Hz and scale 6 already do), so the
  // product is formed in 64 bits. A rate of 0 would divide by zero; such a
  // clock has no duration to fill with sound.
  const uint64_t product = uint64_t{movie.frameCount} * movie.soundRate * movie.scale;
  const uint64_t samples = movie.rate != 0 ? product / movie.rate : 0;
  soundLength = samples > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(samples);

  std::memset(&audioStreamInfo, 0, sizeof audioStreamInfo);
  audioStreamInfo.fccType = streamtypeAUDIO;
  audioStreamInfo.fccHandler = 0;
  audioStreamInfo.dwScale = 1;
  audioStreamInfo.dwRate = movie.soundRate;
  audioStreamInfo.dwLength = soundLength;
  audioStreamInfo.dwQuality = kDefaultQuality;
  audioStreamInfo.dwSampleSize = 2;
  SetName(audioStreamInfo, "Audio");
}

void AVIencode::SetVideoFormat() {
  // Formed in 64 bits: a frame past 2 GiB cannot be one AVI chunk, and is refused by
  // Open rather than written with a wrapped size.
  const uint64_t bytes = TBitmap::RowBytesFor(movie.width) * movie.height;
  frameBytes = bytes > 0x7FFFFFFF ? -1 : static_cast<int32_t>(bytes);

  std::memset(&videoFormat, 0, sizeof videoFormat);
  videoFormat.biSize = sizeof(BITMAPINFOHEADER);
  videoFormat.biWidth = static_cast<LONG>(movie.width);
  videoFormat.biHeight = static_cast<LONG>(movie.height);  // positive: bottom-up rows
  videoFormat.biPlanes = 1;
  videoFormat.biBitCount = 24;
  videoFormat.biCompression = BI_RGB;
  videoFormat.biSizeImage = frameBytes < 0 ? 0 : static_cast<DWORD>(frameBytes);
}

void AVIencode::SetAudioFormat() {
  std::memset(&audioFormat, 0, sizeof audioFormat);
  audioFormat.wf.wFormatTag = WAVE_FORMAT_PCM;
  audioFormat.wf.nChannels = 1;
  audioFormat.wf.nSamplesPerSec = movie.soundRate;
  audioFormat.wf.nAvgBytesPerSec = 2 * movie.soundRate;
  audioFormat.wf.nBlockAlign = 2;
  audioFormat.wBitsPerSample = 16;
}

int AVIencode::Open(const char* path) {
  SetStreamInfo();
  SetVideoFormat();
  SetAudioFormat();
  AviFileInit();
  failureErrno = 0;
  refused = false;
  framesKept = 0;
  // Checked before the file is created, so that an existing file of that
  // name is not replaced by one that could not hold the movie.
  refusal = AviRefusal(movie);
  if (refusal != nullptr) {
    failureErrno = EOVERFLOW;
    refused = true;
    return 1;
  }
  const UINT mode = kCreateMode | (createExclusively ? kAviOpenExclusive : 0);
  if (AviFileOpen(&aviFile, path, mode, nullptr) != 0 ||
      AviFileCreateStream(aviFile, &videoStream, &videoStreamInfo) != 0 ||
      AviFileCreateStream(aviFile, &audioStream, &audioStreamInfo) != 0 ||
      AviStreamSetFormat(videoStream, 0, &videoFormat, sizeof videoFormat) != 0 ||
      AviStreamSetFormat(audioStream, 0, &audioFormat, sizeof audioFormat) != 0) {
    failureErrno = AviFileLastError();
    return 1;
  }
  videoPosition = 0;
  audioPosition = 0;
  return 0;
}

int AVIencode::WriteVideo(const void* pixels) {
  if (AviStreamWrite(videoStream, videoPosition, 1, const_cast<void*>(pixels), frameBytes,
                     AVIIF_KEYFRAME, nullptr, nullptr) != 0) {
    failureErrno = AviFileLastError();
    return 1;
  }
  ++videoPosition;
  return 0;
}

int AVIencode::WriteAudio(const void* block) {
  // A chunk's size is a signed 32-bit count (Open refuses larger blocks).
  if (movie.soundBlockBytes > 0x7FFFFFFF) {
    failureErrno = EOVERFLOW;
    return 1;
  }
  const LONG samples = static_cast<LONG>(movie.soundBlockBytes / 2);
  if (AviStreamWrite(audioStream, audioPosition, samples, const_cast<void*>(block),
                     static_cast<LONG>(movie.soundBlockBytes), 0, nullptr, nullptr) != 0) {
    failureErrno = AviFileLastError();
    return 1;
  }
  audioPosition += samples;
  return 0;
}

int AVIencode::Close() {
  if (videoStream != nullptr) AviStreamRelease(videoStream);
  if (audioStream != nullptr) AviStreamRelease(audioStream);
  // The file goes last, so its release is the one that completes it.
  int result = 0;
  if (aviFile != nullptr) {
    AviFileRelease(aviFile);
    if (AviFileLastFinishResult() != AVIERR_OK) {
      failureErrno = AviFileLastError();
      result = 1;
    }
    const uint64_t kept = AviFileLastFinishLength(0);
    framesKept = kept > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kept);
  }
  aviFile = nullptr;
  videoStream = nullptr;
  audioStream = nullptr;
  AviFileExit();
  return result;
}
