#pragma once

#include <cstdint>

#include "v02dec/MovieResult.h"
#include "v02dec/V02Decode.h"

// One pass over an opened movie, chunk by chunk, as conversion, the check and
// the verification all make it: which chunk is in hand, how many of its slots
// hold the movie's frames (the last chunk may fill fewer than it has), and the
// movie's index of its first frame. The counts come from what the decoder
// says it delivered, so the three cannot disagree on a movie's frames.
//
//   ChunkWalk walk(decoder);
//   while (!walk.Done()) {
//     if (walk.Next() != kMovieOk) ...;           // ReadChunk's failure
//     for (uint32_t j = 0; j < walk.Frames(); ++j) use(*decoder.frameBitmaps[j]);
//     use(decoder.soundBlock.get());              // every chunk, the last too
//   }
class ChunkWalk {
 public:
  explicit ChunkWalk(V02Decode& decoder) : decoder_(decoder) {}

  // Every frame of the movie has been handed out.
  bool Done() const { return decoder_.FramesRemaining() == 0; }

  // Reads the next chunk: ReadChunk's result. A chunk that succeeds without
  // delivering a frame while frames remain would keep a caller's loop going
  // for ever; the decoder never does that, but should it, the walk stops
  // with kMovieReadError and Stalled() says why.
  MovieResult Next() {
    if (read_) ++chunk_;
    read_ = true;
    const uint32_t count = decoder_.Parameters().frameCount;
    first_ = count - decoder_.FramesRemaining();
    const MovieResult result = decoder_.ReadChunk();
    frames_ = count - decoder_.FramesRemaining() - first_;
    stalled_ = result == kMovieOk && frames_ == 0 && !Done();
    return stalled_ ? kMovieReadError : result;
  }

  // Of the chunk last read: the slots that hold the movie's frames (after a
  // failure, those the decoder delivered with it), the movie's index of the
  // first of them, and the chunk's index (0 for the movie's first).
  uint32_t Frames() const { return frames_; }
  uint32_t FirstFrame() const { return first_; }
  uint32_t Chunk() const { return chunk_; }
  bool Stalled() const { return stalled_; }

 private:
  V02Decode& decoder_;
  uint32_t frames_ = 0;
  uint32_t first_ = 0;
  uint32_t chunk_ = 0;
  bool read_ = false;
  bool stalled_ = false;
};
