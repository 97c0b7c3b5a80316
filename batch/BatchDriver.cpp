#include "batch/BatchDriver.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "batch/AviMovieEncoder.h"
#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "platform/Files.h"
#include "v02dec/ChunkWalk.h"
#include "v02dec/CompanionNames.h"
#include "v02dec/RawFile.h"
#include "v02dec/V02Decode.h"

namespace {

// The decoder's account of its last failure. When the movie named in the
// message could not be opened, the system's error says all; otherwise the
// decoder's words name the test, the file and the place.
void TakeDecoderCause(const V02Decode& decoder, BatchFailure& failure) {
  const MovieFailure& cause = decoder.LastFailure();
  if (cause.kind == FailureKind::kNone) return;
  failure.sysErrno = cause.sysErrno;
  if (cause.test == FailureTest::kOpenMovie && cause.sysErrno != 0) return;
  failure.cause = DescribeFailure(cause);
  failure.movieFailure = cause;
}

// A file of ours that is no longer wanted: only a regular file is removed,
// never what may have taken its name.
void Discard(const std::string& path) {
  if (platform::KindOfName(path) == platform::NameKind::kRegular) platform::RemoveName(path);
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

// Once the whole file has its name, what earlier runs left of the same
// output goes: its partial file (unless keepPartial: that name is another
// movie's output) and temporary files of ours (a killed run's). They are
// ours by name alone, and only regular files are removed.
void ClearLeftovers(const std::string& outputPath, bool keepPartial) {
  if (!keepPartial) Discard(PartialPath(outputPath));
  const std::string folder = FolderPart(outputPath);
  const std::string outputName = FileNamePart(outputPath);
  std::vector<std::string> names;
  if (platform::ListFolder(folder, names) != 0) return;
  for (const std::string& name : names) {
    if (!IsTemporaryNameFor(name, outputName)) continue;
    Discard(folder.empty() ? name : folder + JoinSeparator() + name);
  }
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

const char* BatchDriver::OutputAliasesInput(const std::string& outputPath) {
  platform::FileIdentity output;
  if (!platform::IdentityOf(outputPath, output)) return nullptr;
  // Taken once per list: the window may replace the list during a batch.
  if (!identitiesTaken_ || identitiesTakenFrom_ != FileList) {
    inputIdentities_.clear();
    for (const std::string& movie : FileList) {
      InputIdentity input;
      if (platform::IdentityOf(movie, input.identity)) inputIdentities_.push_back(input);
      input.companion = true;
      for (const std::string& companion : CompanionNames(movie)) {
        if (platform::IdentityOf(companion, input.identity)) inputIdentities_.push_back(input);
      }
    }
    identitiesTakenFrom_ = FileList;
    identitiesTaken_ = true;
  }
  for (const InputIdentity& input : inputIdentities_) {
    if (input.identity == output) {
      return input.companion ? "it is the sound file of a movie of this batch"
                             : "it is a movie of this batch";
    }
  }
  return nullptr;
}

BatchDriver::Existing BatchDriver::DecideOnOutputName(const std::string& outputPath, bool ask,
                                                      BatchFailure& refusal) {
  const platform::NameKind kind = platform::KindOfName(outputPath);
  if (kind == platform::NameKind::kAbsent) return Existing::kFree;
  // Whatever the user answers: replacing another name of an input would
  // destroy it (a symbolic or hard link, or a name differing only in letter
  // case on a file system that ignores case).
  const char* cause = OutputAliasesInput(outputPath);
  // A link is neither followed (it could lead anywhere, a device too) nor
  // replaced (it is the user's); a FIFO or device is never opened, which
  // could wait for ever.
  if (cause == nullptr && kind == platform::NameKind::kSymlink) {
    cause = "it is a symbolic link, which is neither followed nor replaced";
  }
  if (cause == nullptr && kind != platform::NameKind::kRegular) cause = "it is not a regular file";
  if (cause != nullptr) {
    refusal.kind = BatchFailure::Kind::kOpenOutput;
    refusal.path = outputPath;
    refusal.cause = cause;
    return Existing::kRefuse;
  }
  if (overwriteAll_ || !ask) return Existing::kReplace;
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

std::string BatchDriver::NextTemporaryPath(const std::string& outputPath) {
  if (tagState_ == 0) {
    // Tags need only differ from another run's; without an entropy source
    // the clock serves.
    try {
      std::random_device source;
      tagState_ = (uint64_t{source()} << 32) | source();
    } catch (...) {
      tagState_ = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
  }
  // splitmix64: cheap, and distinct tags for every name tried in this run.
  tagState_ += 0x9E3779B97F4A7C15u;
  uint64_t z = tagState_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  char tag[6];
  for (char& c : tag) {
    c = kDigits[z % 36];
    z /= 36;
  }
  return TemporaryPath(outputPath, std::string_view(tag, sizeof tag));
}

bool BatchDriver::IsOutputOfTheBatch(const std::string& path, const char* extension) const {
  for (size_t i = 0; i < FileList.size(); ++i) {
    const std::string& folder =
        i < OutputFolders.size() && !OutputFolders[i].empty() ? OutputFolders[i] : SaveDir;
    if (OutputPath(folder, FileList[i], kNativePathStyle, extension) == path) return true;
  }
  return false;
}

std::string BatchDriver::KeepCutShort(const std::string& temporaryPath,
                                      const std::string& outputPath, const char* extension) {
  // An encoder removes a file it could not leave well-formed.
  if (platform::KindOfName(temporaryPath) != platform::NameKind::kRegular) return std::string();
  const std::string partial = PartialPath(outputPath);
  // A movie named NAME.partial.V02 in the same batch has that name for its
  // whole output.
  if (IsOutputOfTheBatch(partial, extension)) return temporaryPath;
  const platform::NameKind there = platform::KindOfName(partial);
  // A partial file of an earlier run gives way; anything else of that name
  // (a link, a folder) is left alone and the file keeps its temporary name.
  if ((there == platform::NameKind::kAbsent || there == platform::NameKind::kRegular) &&
      platform::ReplaceName(temporaryPath, partial) == 0) {
    return partial;
  }
  return temporaryPath;
}

void BatchDriver::TakeFramesKept(const MovieEncoder& encoder) {
  const int64_t kept = encoder.FramesKept();
  if (kept >= 0 && kept < int64_t{fileFramesWritten_}) {
    fileFramesWritten_ = static_cast<uint32_t>(kept);
  }
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

  // The final name is looked at (and asked about) before anything is
  // written. The movie is written under a temporary name, created
  // exclusively beside it, and given the final name only once it is whole:
  // an earlier file of that name survives every failure, and a file under
  // the final name is always a whole conversion.
  bool mayReplace = false;
  {
    BatchFailure refusal;
    switch (DecideOnOutputName(outputPath, true, refusal)) {
      case Existing::kFree:
        break;
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

  std::string temporaryPath;
  MovieEncoder::OpenResult opened = MovieEncoder::OpenResult::kExists;
  // A taken temporary name is another run's; a fresh tag is tried.
  for (int attempt = 0; attempt < 100 && opened == MovieEncoder::OpenResult::kExists; ++attempt) {
    temporaryPath = NextTemporaryPath(outputPath);
    encoder.SetSource(inputPath);
    opened = encoder.Open(temporaryPath.c_str(), shape, false);
  }
  if (opened != MovieEncoder::OpenResult::kOk) {
    BatchFailure failure;
    failure.kind = opened == MovieEncoder::OpenResult::kRefused
                       ? BatchFailure::Kind::kRefusedByEncoder
                       : BatchFailure::Kind::kOpenOutput;
    failure.path = outputPath;
    failure.cause = encoder.FailureCause();
    decoder.Close();
    encoder.Close();
    // A file created before the failure is ours; a taken name is not.
    if (opened == MovieEncoder::OpenResult::kFailed) Discard(temporaryPath);
    return Fail(std::move(failure));
  }
  host_.ShowFileName(FileNamePart(inputPath), Progress());

  // A file that stops early is closed with what it holds, under its partial
  // name; a failure to complete it is reported in place of the first
  // failure only when there was none.
  auto stopWith = [&](BatchFailure failure) {
    decoder.Close();
    if (encoder.Close() != 0 && failure.cause.empty() && failure.sysErrno == 0) {
      failure.cause = encoder.FailureCause();
    }
    TakeFramesKept(encoder);
    failure.outputPath = KeepCutShort(temporaryPath, outputPath, encoder.Extension());
    return Fail(std::move(failure));
  };
  auto outputFailure = [&]() {
    BatchFailure failure;
    failure.kind = BatchFailure::Kind::kWriteOutput;
    failure.path = outputPath;
    failure.cause = encoder.FailureCause();
    return failure;
  };
  // A whole file that cannot be given its name is removed: the earlier file
  // of that name, if any, stays.
  auto placingFailure = [&](int error) {
    Discard(temporaryPath);
    BatchFailure failure;
    failure.kind = BatchFailure::Kind::kWriteOutput;
    failure.path = outputPath;
    failure.sysErrno = error;
    return Fail(std::move(failure));
  };

  // Every frame written counts; an abort between two of a long chunk's
  // frames ends the file there, without that chunk's sound.
  uint32_t written = 0;
  ChunkWalk walk(decoder);
  while (!walk.Done()) {
    const MovieResult read = walk.Next();
    // Aborted inside the chunk: the file keeps the chunks before it.
    if (read == kMovieAborted) break;
    if (read != kMovieOk) return stopWith(inputFailure(BatchFailure::Kind::kReadInput));
    uint32_t j = 0;
    for (; j < walk.Frames() && !AbortPending(); ++j) {
      if (encoder.WriteVideo(decoder.frameBitmaps[j]->Pixels()) != 0) {
        return stopWith(outputFailure());
      }
      ++written;
      ++fileFramesWritten_;
    }
    if (j < walk.Frames()) break;
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
  // The file is converted only once every byte of it is on disk; one that
  // lost its last frames while being finished is a partial file.
  const bool closed = encoder.Close() == 0;
  TakeFramesKept(encoder);
  if (!closed) {
    BatchFailure failure = outputFailure();
    failure.outputPath = KeepCutShort(temporaryPath, outputPath, encoder.Extension());
    return Fail(std::move(failure));
  }
  if (written != frameCount) {
    summary_.outcome = BatchSummary::Outcome::kAborted;
    summary_.abortedOutput = KeepCutShort(temporaryPath, outputPath, encoder.Extension());
    summary_.abortedFrames = fileFramesWritten_;
    summary_.abortedFrameCount = fileFrameCount_;
    return FileEnd::kStop;
  }
  if (fileDoneHook_) {
    std::string problem = fileDoneHook_(inputPath, temporaryPath, outputPath);
    if (!problem.empty()) {
      Discard(temporaryPath);
      BatchFailure failure;
      failure.kind = BatchFailure::Kind::kVerifyOutput;
      failure.path = outputPath;
      failure.cause = std::move(problem);
      return Fail(std::move(failure));
    }
  }
  // On the disk before it has the final name: after a crash the name stands
  // for the earlier file or for this whole one, never for lost data.
  if (const int error = platform::SyncFile(temporaryPath); error != 0) {
    return placingFailure(error);
  }
  int placed = 0;
  if (mayReplace) {
    // Looked at again: what took the name since must be a file of its own.
    BatchFailure refusal;
    if (DecideOnOutputName(outputPath, false, refusal) == Existing::kRefuse) {
      Discard(temporaryPath);
      return Fail(std::move(refusal));
    }
    placed = platform::ReplaceName(temporaryPath, outputPath);
  } else {
    placed = platform::RenameWithoutReplacing(temporaryPath, outputPath);
    if (placed == EEXIST) {
      // The name was taken while the movie was converted: asked about like
      // any existing output.
      BatchFailure refusal;
      switch (DecideOnOutputName(outputPath, true, refusal)) {
        case Existing::kFree:
          placed = platform::RenameWithoutReplacing(temporaryPath, outputPath);
          break;
        case Existing::kReplace:
          placed = platform::ReplaceName(temporaryPath, outputPath);
          break;
        case Existing::kSkip:
          Discard(temporaryPath);
          ++summary_.skipped;
          return FileEnd::kNext;
        case Existing::kAbort:
          Discard(temporaryPath);
          summary_.outcome = BatchSummary::Outcome::kAborted;
          return FileEnd::kStop;
        case Existing::kRefuse:
          Discard(temporaryPath);
          return Fail(std::move(refusal));
      }
    }
  }
  if (placed != 0) return placingFailure(placed);
  ClearLeftovers(outputPath, IsOutputOfTheBatch(PartialPath(outputPath), encoder.Extension()));

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
