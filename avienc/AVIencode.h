#pragma once

#include <cstdint>

#include "avifile/AviFile.h"
#include "v02dec/MovieParameters.h"

// Why an AVI file cannot hold a movie of these parameters: a fixed English
// sentence naming the field that would wrap, nullptr when it can. Open
// refuses exactly these, so that a probe of a movie and its conversion
// agree.
const char* AviRefusal(const MovieParameters& movie);

// Writes one movie at a time as an uncompressed AVI file with two streams: a
// video stream of 24-bit bottom-up bitmaps, every frame a key frame, and an
// audio stream of 16-bit mono PCM. The caller sets the Movie parameters
// (movie), calls Open, then WriteVideo for each frame and WriteAudio for
// each sound block, and Close, which follows every Open, a failed one too.
// The same object then serves the next movie.
class AVIencode {
 public:
  AVIencode() = default;
  // Releases nothing: an opened encoder is closed by its caller first.
  virtual ~AVIencode() = default;
  AVIencode(const AVIencode&) = delete;
  AVIencode& operator=(const AVIencode&) = delete;

  // The movie's parameters, written by the caller before Open
  // (framesPerChunk is not used).
  MovieParameters movie;
  // Samples that the movie's duration holds; set by SetStreamInfo.
  uint32_t soundLength = 0;

  AVISTREAMINFOA videoStreamInfo{};
  AVISTREAMINFOA audioStreamInfo{};
  PAVIFILE aviFile = nullptr;
  PAVISTREAM videoStream = nullptr;
  PAVISTREAM audioStream = nullptr;
  BITMAPINFOHEADER videoFormat{};
  PCMWAVEFORMAT audioFormat{};
  // Bytes of one frame's pixel memory; -1 when the frame size is beyond
  // what one AVI chunk can hold, which makes Open fail.
  int32_t frameBytes = 0;
  int32_t videoPosition = 0;  // next frame to write
  int32_t audioPosition = 0;  // next sound sample to write

  // When set, Open creates the file only if no file of that name exists, and
  // fails with failureErrno EEXIST otherwise, changing nothing. When clear,
  // an existing file is replaced.
  bool createExclusively = false;
  // Open's refusal of the Movie parameters (AviRefusal), nullptr when it
  // did not refuse them.
  const char* refusal = nullptr;
  // errno behind the last failure of Open, a write or Close (EOVERFLOW for
  // Movie parameters that the file cannot hold); 0 when there is none.
  int failureErrno = 0;
  // Set by an Open that refused the Movie parameters (a value some field of
  // the file cannot hold) before creating anything.
  bool refused = false;
  // Frames the file holds after Close: fewer than were written when the
  // disk filled up while finishing it and the last chunks gave way to the
  // indexes; 0 when no file is left.
  uint32_t framesKept = 0;

  // 0 when the file at path is created anew and both streams are ready,
  // 1 on any failure. Movie parameters that some field of the file could not
  // hold are refused before anything is created.
  int Open(const char* path);
  // Writes one frame's pixel memory (its bottom row first). 0 or 1.
  int WriteVideo(const void* pixels);
  // Writes one sound block at the running sample position. 0 or 1.
  int WriteAudio(const void* block);
  // Releases the streams and the file, which completes it on disk. 0 when
  // the file holds everything written and every byte of it reached the
  // file, 1 when finishing it failed: the file is then well-formed over what
  // it kept, or absent.
  int Close();

  // The preparation steps of Open, from the Movie parameters.
  void SetStreamInfo();
  void SetVideoFormat();
  void SetAudioFormat();
};
