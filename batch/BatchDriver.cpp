#include "batch/BatchDriver.h"

#include <sys/stat.h>

#include <memory>
#include <new>
#include <vector>

#include "batch/AviMovieEncoder.h"
#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "v02dec/RawFile.h"
#include "v02dec/V02Decode.h"

namespace {

// The companion sound file of a VD00 movie is found under every letter case
// of ".snd" (the decoder tries them all); these are the names it may have.
std::vector<std::string> CompanionCandidates(const std::string& moviePath) {
  const size_t slash = moviePath.rfind('/');
  const size_t dot = moviePath.rfind('.');
  const size_t stemEnd = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                             ? moviePath.size()
                             : dot;
  std::vector<std::string> names;
  for (unsigned upperMask = 0; upperMask < 8; ++upperMask) {
    std::string name = moviePath.substr(0, stemEnd) + ".snd";
    for (unsigned letter = 0; letter < 3; ++letter) {
      if (upperMask & (1u << letter)) {
        char& c = name[name.size() - 3 + letter];
        c = static_cast<char>(c - 'a' + 'A');
      }
    }
    names.push_back(std::move(name));
  }
  return names;
}

bool SameFile(const struct stat& a, const std::string& path) {
  struct stat b {};
  return stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether an existing output names one of the files being read (through a
// symbolic or hard link, or a name that differs only in letter case on a
// folding file system). Replacing it would destroy the input, whatever the
// user answers. Returns the cause, or nullptr when it is a file of its own.
const char* OutputAliasesInput(const std::string& outputPath, const std::string& inputPath) {
  struct stat output {};
  if (stat(outputPath.c_str(), &output) != 0) return nullptr;
  if (SameFile(output, inputPath)) return "it is the movie being converted";
  for (const std::string& companion : CompanionCandidates(inputPath)) {
    if (SameFile(output, companion)) return "it is the movie's sound file";
  }
  return nullptr;
}

// Something of that name exists, a dangling symbolic link included: creating
// the file would follow the link and write where it points.
// The decoder's account of its last failure. When the movie named in the
// message could not be opened, the system's error says all; otherwise the
// decoder's words name the test, the file and the place.
void TakeDecoderCause(const V02Decode& decoder, BatchFailure& failure) {
  const MovieFailure& cause = decoder.LastFailure();
  if (cause.kind == FailureKind::kNone) return;
  failure.sysErrno = cause.sysErrno;
  if (cause.test == FailureTest::kOpenMovie && cause.sysErrno != 0) return;
  failure.cause = DescribeFailure(cause);
}

bool NameTaken(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// The decoder promises 1 to 64 frame bitmaps and a sound block after a
// successful Open; a movie whose buffers did not all come into being must not
// reach the encoder, which would read through a missing picture.
bool ChunkBuffersReady(const V02Decode& decoder) {
  const uint32_t perChunk = decoder.Parameters().framesPerChunk;
  if (perChunk == 0 || perChunk > V02Decode::kMaxFramesPerChunk) return false;
  for (uint32_t j = 0; j < perChunk; ++j) {
    if (!decoder.frameBitmaps[j] || decoder.frameBitmaps[j]->Empty()) return false;
  }
  return decoder.Parameters().soundBlockBytes == 0 || decoder.soundBlock != nullptr;
}

}  // namespace

BatchDriver::BatchDriver(BatchHost& host) : host_(host) {}

BatchDriver::~BatchDriver() = default;

uint32_t BatchDriver::ProgressPosition(uint32_t frameCount, uint32_t framesWritten,
                                       uint32_t fileIndex) {
  const uint32_t share =
      frameCount == 0 ? 0
                      : static_cast<uint32_t>(uint64_t{framesWritten} * 100 / frameCount);
  return share + fileIndex * 100u;
}

bool BatchDriver::AskAbort() {
  const bool yes = host_.ConfirmAbort();
  if (yes) {
    AbortRequested = 1;
    RequestAbort();
  }
  return yes;
}

bool BatchDriver::AbortPending() const {
  return AbortRequested != 0 || abortNow_.load(std::memory_order_relaxed);
}

BatchProgress BatchDriver::Progress() const {
  BatchProgress progress;
  progress.fileIndex = fileIndex_;
  progress.fileCount = FileList.size();
  progress.framesDone = fileFramesWritten_;
  progress.frameTotal = fileFrameCount_;
  progress.barPosition =
      ProgressPosition(fileFrameCount_, fileFramesWritten_, static_cast<uint32_t>(fileIndex_));
  return progress;
}

void BatchDriver::BtnStartClick() {
  if (Busy) {
    AskAbort();
    return;
  }
  summary_ = BatchSummary{};
  if (FileList.empty()) {
    host_.BatchFinished(summary_);
    return;
  }

  std::unique_ptr<V02Decode> decoder(new (std::nothrow) V02Decode);
  std::unique_ptr<MovieEncoder> encoder;
  if (encoderFactory_) {
    encoder = encoderFactory_();
  } else {
    encoder.reset(new (std::nothrow) AviMovieEncoder);
  }
  if (!decoder || !encoder) {
    BatchFailure failure;
    failure.kind = BatchFailure::Kind::kNoMemory;
    host_.ShowError(failure);
    summary_.outcome = BatchSummary::Outcome::kStoppedByError;
    summary_.failed = 1;
    summary_.failures.push_back(failure);
    host_.BatchFinished(summary_);
    return;
  }

  // The decoder looks at the abort inside long chunks, and while it waits
  // for one it lets the host run its events about ten times a second, so
  // that an abort asked for in the window is seen there too.
  decoder->WatchAbort(&abortNow_);
  decoder->SetWaitHook([this] {
    host_.Pump();
    if (AbortRequested) RequestAbort();
  });

  Busy = 1;
  host_.SetRunning(true);
  host_.SetProgressMaximum(static_cast<uint32_t>(FileList.size()) * 100u);
  fileIndex_ = 0;
  fileFrameCount_ = 0;
  fileFramesWritten_ = 0;
  host_.ShowProgress(Progress());

  overwriteAll_ = false;
  summary_.outcome = BatchSummary::Outcome::kCompleted;
  // The list may be replaced from Pump: its size and entry are read anew for
  // every file, and the entry is copied before anything can replace it.
  for (fileIndex_ = 0; fileIndex_ < FileList.size(); ++fileIndex_) {
    // Nothing in the window can set the flag between files, but a host may
    // (an interrupt at the overwrite prompt): no further file is begun then.
    if (AbortPending()) {
      summary_.outcome = BatchSummary::Outcome::kAborted;
      break;
    }
    const std::string inputPath = FileList[fileIndex_];
    if (ConvertFile(*decoder, *encoder, inputPath) == FileEnd::kStop) break;
  }
  if (summary_.outcome == BatchSummary::Outcome::kCompleted && summary_.failed != 0) {
    summary_.outcome = BatchSummary::Outcome::kStoppedByError;
  }

  EndBatch();
}

BatchDriver::FileEnd BatchDriver::Fail(BatchFailure failure) {
  // An encoder removes an output it could not finish well-formed; no partial
  // file is left to tell of then.
  if (!failure.outputPath.empty() && !RawFile::Exists(failure.outputPath)) {
    failure.outputPath.clear();
  }
  failure.inputPath = inputPath_;
  failure.framesWritten = fileFramesWritten_;
  failure.frameCount = fileFrameCount_;
  host_.ShowError(failure);
  ++summary_.failed;
  summary_.failures.push_back(std::move(failure));
  if (keepGoing_) return FileEnd::kNext;
  summary_.outcome = BatchSummary::Outcome::kStoppedByError;
  return FileEnd::kStop;
}

BatchDriver::Existing BatchDriver::DecideOnExisting(const std::string& outputPath,
                                                    const std::string& inputPath,
                                                    BatchFailure& refusal) {
  if (const char* cause = OutputAliasesInput(outputPath, inputPath)) {
    refusal.kind = BatchFailure::Kind::kOpenOutput;
    refusal.path = outputPath;
    refusal.cause = cause;
    return Existing::kRefuse;
  }
  if (overwriteAll_) return Existing::kReplace;
  const OverwriteAnswer answer = host_.ConfirmOverwrite(outputPath);
  if (AbortPending()) return Existing::kAbort;
  // A question closed without an answer skips the file like No: only an
  // explicit Yes may replace a user's file.
  if (answer == OverwriteAnswer::kNo || answer == OverwriteAnswer::kCancelled) {
    return Existing::kSkip;
  }
  if (answer == OverwriteAnswer::kYesToAll) overwriteAll_ = true;
  return Existing::kReplace;
}

BatchDriver::FileEnd BatchDriver::ConvertFile(V02Decode& decoder, MovieEncoder& encoder,
                                              const std::string& inputPath) {
  inputPath_ = inputPath;
  fileFrameCount_ = 0;
  fileFramesWritten_ = 0;

  auto inputFailure = [&](BatchFailure::Kind kind) {
    BatchFailure failure;
    failure.kind = kind;
    failure.path = inputPath;
    TakeDecoderCause(decoder, failure);
    return failure;
  };

  switch (decoder.Open(inputPath)) {
    case kMovieOk:
      break;
    case kMovieNoMemory: {
      BatchFailure failure = inputFailure(BatchFailure::Kind::kNoMemory);
      decoder.Close();
      return Fail(std::move(failure));
    }
    case kMovieUnsupported: {
      BatchFailure failure = inputFailure(BatchFailure::Kind::kUnsupported);
      decoder.Close();
      return Fail(std::move(failure));
    }
    case kMovieReadError:
    default: {
      BatchFailure failure = inputFailure(BatchFailure::Kind::kOpenInput);
      decoder.Close();
      return Fail(std::move(failure));
    }
  }
  const uint32_t frameCount = decoder.Parameters().frameCount;
  if (frameCount != 0 && !ChunkBuffersReady(decoder)) {
    decoder.Close();
    return Fail(inputFailure(BatchFailure::Kind::kNoMemory));
  }

  const MovieParameters& shape = decoder.Parameters();
  fileFrameCount_ = frameCount;

  const std::string& folder =
      fileIndex_ < OutputFolders.size() && !OutputFolders[fileIndex_].empty()
          ? OutputFolders[fileIndex_]
          : SaveDir;
  const std::string outputPath =
      OutputPath(folder, inputPath, kNativePathStyle, encoder.Extension());

  // An output that exists is asked about (or skipped) before it is touched;
  // one that did not exist is created exclusively, so that a file appearing
  // in between is found by the encoder and asked about in the same way.
  bool mayReplace = false;
  bool checked = false;
  for (;;) {
    if (!mayReplace && (checked || NameTaken(outputPath))) {
      BatchFailure refusal;
      switch (DecideOnExisting(outputPath, inputPath, refusal)) {
        case Existing::kReplace:
          mayReplace = true;
          break;
        case Existing::kSkip:
          decoder.Close();
          ++summary_.skipped;
          return FileEnd::kNext;
        case Existing::kAbort:
          decoder.Close();
          summary_.outcome = BatchSummary::Outcome::kAborted;
          return FileEnd::kStop;
        case Existing::kRefuse:
          decoder.Close();
          return Fail(std::move(refusal));
      }
    }
    checked = true;
    encoder.SetSource(inputPath);
    const MovieEncoder::OpenResult opened = encoder.Open(outputPath.c_str(), shape, mayReplace);
    if (opened == MovieEncoder::OpenResult::kOk) break;
    if (opened == MovieEncoder::OpenResult::kExists && !mayReplace) continue;
    BatchFailure failure;
    failure.kind = BatchFailure::Kind::kOpenOutput;
    failure.path = outputPath;
    failure.cause = encoder.FailureCause();
    decoder.Close();
    encoder.Close();
    return Fail(std::move(failure));
  }
  host_.ShowFileName(FileNamePart(inputPath), Progress());

  // A file that stops early is closed with what it holds; a failure to
  // complete it is reported in place of the first failure only when there
  // was none.
  auto stopWith = [&](BatchFailure failure) {
    failure.outputPath = outputPath;
    decoder.Close();
    if (encoder.Close() != 0 && failure.cause.empty() && failure.sysErrno == 0) {
      failure.cause = encoder.FailureCause();
    }
    return Fail(std::move(failure));
  };
  auto outputFailure = [&]() {
    BatchFailure failure;
    failure.kind = BatchFailure::Kind::kWriteOutput;
    failure.path = outputPath;
    failure.cause = encoder.FailureCause();
    return failure;
  };

  // Unsigned: a frame count above 2^31 is a count, not a negative number.
  uint32_t framesLeft = frameCount;
  const uint32_t perChunk = decoder.Parameters().framesPerChunk;
  while (framesLeft != 0) {
    const MovieResult read = decoder.ReadChunk();
    // Aborted inside the chunk: the file keeps the chunks before it.
    if (read == kMovieAborted) break;
    if (read != kMovieOk) return stopWith(inputFailure(BatchFailure::Kind::kReadInput));
    // The last chunk may hold fewer frames than there are slots. An abort
    // between two of a long chunk's frames ends the file there, without
    // that chunk's sound.
    uint32_t j = 0;
    for (; j < perChunk && framesLeft != 0 && !AbortPending(); ++j) {
      if (encoder.WriteVideo(decoder.frameBitmaps[j]->Pixels()) != 0) {
        return stopWith(outputFailure());
      }
      --framesLeft;
      ++fileFramesWritten_;
    }
    if (j < perChunk && framesLeft != 0) break;
    // The whole block is written for every chunk, the last one included. A
    // failed sound write stops the batch like a failed frame: reporting the
    // file as converted would hide sound that is missing from it.
    if (encoder.WriteAudio(decoder.soundBlock.get()) != 0) return stopWith(outputFailure());
    host_.ShowFrame(*decoder.frameBitmaps[0]);
    host_.ShowProgress(Progress());
    host_.Pump();
    if (AbortPending()) break;
  }

  decoder.Close();
  // The file is converted only once every byte of it is on disk.
  if (encoder.Close() != 0) {
    BatchFailure failure = outputFailure();
    failure.outputPath = outputPath;
    return Fail(std::move(failure));
  }
  if (framesLeft != 0) {
    summary_.outcome = BatchSummary::Outcome::kAborted;
    summary_.abortedOutput = outputPath;
    summary_.abortedFrames = fileFramesWritten_;
    summary_.abortedFrameCount = fileFrameCount_;
    return FileEnd::kStop;
  }
  if (fileDoneHook_) {
    std::string problem = fileDoneHook_(inputPath, outputPath);
    if (!problem.empty()) {
      BatchFailure failure;
      failure.kind = BatchFailure::Kind::kVerifyOutput;
      failure.path = outputPath;
      failure.cause = std::move(problem);
      return Fail(std::move(failure));
    }
  }
  ++summary_.converted;
  // An abort that came with the last chunk leaves this file complete; the
  // next file is not begun.
  if (AbortPending()) {
    if (fileIndex_ + 1 < FileList.size()) summary_.outcome = BatchSummary::Outcome::kAborted;
    return FileEnd::kStop;
  }
  return FileEnd::kNext;
}

void BatchDriver::EndBatch() {
  Busy = 0;
  AbortRequested = 0;
  abortNow_.store(false, std::memory_order_relaxed);
  host_.SetRunning(false);
  BatchProgress idle;
  idle.fileCount = FileList.size();
  host_.ShowProgress(idle);
  host_.BatchFinished(summary_);
}
