#include "v02dec/ReadAhead.h"

#include <chrono>

#include "platform/Threads.h"

bool V02Decode::ReadAhead::Start() {
  // With no signal taken by the worker, a signal meant for the program (an
  // interrupt that must wake the caller's prompt) reaches the caller.
  return platform::StartWorkerThread(thread_, [this] { Run(); });
}

void V02Decode::ReadAhead::Request(bool intoSecondSet) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
    intoSecondSet_ = intoSecondSet;
  }
  wake_.notify_one();
  inFlight_ = true;
}

V02Decode::ChunkOutcome V02Decode::ReadAhead::Wait(const std::function<void()>& hook) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto finished = [this] { return done_; };
  if (!hook) {
    finished_.wait(lock, finished);
  } else {
    const auto interval = std::chrono::milliseconds(kWaitHookIntervalMs);
    while (!finished_.wait_for(lock, interval, finished)) {
      // The hook may run a window's events for a while; the worker goes on.
      lock.unlock();
      hook();
      lock.lock();
    }
  }
  done_ = false;
  inFlight_ = false;
  return outcome_;
}

void V02Decode::ReadAhead::Stop() {
  if (!thread_.joinable()) return;
  decoder_.abandonChunk_.store(true, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  inFlight_ = false;
}

void V02Decode::ReadAhead::Run() {
  // Named, so that a debugger, top or a test can tell it from other threads.
  platform::NameThisThread(kThreadName);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return requested_ || stopping_; });
    if (stopping_) return;
    requested_ = false;
    const bool intoSecondSet = intoSecondSet_;
    lock.unlock();
    const ChunkOutcome outcome =
        intoSecondSet
            ? decoder_.DecodeChunk(decoder_.aheadBitmaps_, decoder_.aheadSound_.get())
            : decoder_.DecodeChunk(decoder_.frameBitmaps, decoder_.soundBlock.get());
    lock.lock();
    outcome_ = outcome;
    done_ = true;
    finished_.notify_one();
  }
}
