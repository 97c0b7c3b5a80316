#pragma once

// Result of every decoder operation that can fail. The values are fixed: the
// batch driver turns them into the user's messages.
enum MovieResult : int {
  kMovieOk = 0,
  // A movie or companion sound file cannot be opened, or a read delivered
  // fewer bytes than asked.
  kMovieReadError = 1,
  // A buffer cannot be obtained at open, or a VD02 chunk is larger than the
  // chunk buffer.
  kMovieNoMemory = 2,
  // ReadChunk only: the abort flag (V02Decode::WatchAbort) was set while the
  // chunk was being decoded. None of that chunk is delivered; the movie can
  // only be closed.
  kMovieAborted = 3,
  // The extension is neither ".V00" nor ".V02", or a header test failed.
  // ReadChunk never returns it.
  kMovieUnsupported = 58,
};
