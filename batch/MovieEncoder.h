#pragma once

#include <cstdint>
#include <string>

#include "v02dec/MovieParameters.h"

// What the batch driver needs of whatever writes a converted movie: the
// uncompressed AVI of the designed program, or another container. One object
// writes one movie at a time: Open, then for every chunk WriteVideo per frame
// and WriteAudio once, then Close, which follows every Open, a failed one too.
class MovieEncoder {
 public:
  // The movie as the decoder opened it (framesPerChunk is not used).
  using Shape = MovieParameters;

  enum class OpenResult {
    kOk,
    // The output exists and may not be replaced: it appeared after the driver
    // looked, and creating it exclusively found it. Nothing was changed.
    kExists,
    // The encoder cannot write this movie with these settings (a size, rate
    // or option it does not take). Checked before anything is created.
    kRefused,
    kFailed,
  };

  virtual ~MovieEncoder() = default;

  // The output file name's extension with its dot, such as ".avi".
  virtual const char* Extension() const = 0;

  // The movie this output is made from, given before each Open: a container
  // that carries tags records its name and checksum, so that the file stays
  // traceable on its own. Others ignore it.
  virtual void SetSource(const std::string& inputPath) { (void)inputPath; }

  // Creates the file at path. mayReplace: the user agreed to replace an
  // existing file of that name; without it the file is created exclusively.
  virtual OpenResult Open(const char* path, const Shape& shape, bool mayReplace) = 0;
  // One frame's pixel memory: bottom-up 24-bit BGR rows, each padded to a
  // multiple of 4 bytes, the bottom row first. 0, or 1 on failure.
  virtual int WriteVideo(const void* pixels) = 0;
  // One chunk's sound block of MovieParameters::soundBlockBytes. 0, or 1 on failure.
  virtual int WriteAudio(const void* block) = 0;
  // Completes the file on disk. 0 when every byte of it reached the file and
  // the file was closed, 1 on any failure; the file is then well-formed over
  // what was written before the failure, or absent.
  virtual int Close() = 0;

  // After Close: the frames the file left on disk holds, which may be fewer
  // than were written when the disk filled up while finishing it; -1 when
  // the encoder does not count them (the frames written stand then).
  virtual int64_t FramesKept() const { return -1; }

  // The system's or library's own words for the last failure ("No space left
  // on device"), empty when there is none to give.
  virtual std::string FailureCause() const = 0;
};
