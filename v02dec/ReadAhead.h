#pragma once

// The decoder's read-ahead worker; private to v02dec.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "v02dec/V02Decode.h"

// One thread that decodes one chunk at a time into the decoder's second set,
// when the caller asks for it. The caller (the decoder's ReadChunk, on the
// caller's thread) and the worker hand the chunk back and forth under one
// mutex: everything the worker wrote while decoding is visible to the caller
// once Wait has returned, and everything the caller changed (the sets it
// swapped) is visible to the worker when it picks up the next request.
class V02Decode::ReadAhead {
 public:
  // The worker's thread name (at most 15 bytes on Linux).
  static constexpr const char* kThreadName = "v02dec-ahead";

  explicit ReadAhead(V02Decode& decoder) : decoder_(decoder) {}
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Starts the thread, with every signal blocked in it. False when no thread
  // can be had.
  bool Start();
  // Caller: decode the next chunk into the second set, or into the caller's
  // own (when it has no second set, or for the first chunk). At most one
  // chunk is in flight: only after Wait may the next one be asked for.
  void Request(bool intoSecondSet);
  bool InFlight() const { return inFlight_; }
  bool IntoSecondSet() const { return intoSecondSet_; }
  // Caller: waits for the chunk in flight and returns what decoding it did,
  // calling `hook` (when set) every kWaitHookIntervalMs while it waits.
  ChunkOutcome Wait(const std::function<void()>& hook);
  // Caller: ends the thread and waits for it; a chunk in flight is abandoned
  // at its next frame. Safe to call more than once.
  void Stop();

 private:
  void Run();

  V02Decode& decoder_;
  std::mutex mutex_;
  std::condition_variable wake_;      // the worker waits for a request or the stop
  std::condition_variable finished_;  // the caller waits for the chunk
  bool requested_ = false;
  bool intoSecondSet_ = false;  // written by the caller before the request
  bool done_ = false;
  bool stopping_ = false;
  ChunkOutcome outcome_;
  bool inFlight_ = false;  // the caller's own record, read only by the caller
  std::thread thread_;
};
