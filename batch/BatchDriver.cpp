#include "batch/BatchDriver.h"

#include <sys/stat.h>

#include <memory>
#include <new>

#include "batch/AviMovieEncoder.h"
#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "v02dec/RawFile.h"
#include "v02dec/V02Decode.h"

namespace {

// True when both paths name one existing file (a link, or a name that
// differs only in letter case on a folding file system). Creating the output
// would then truncate the movie being read.
bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The decoder promises 1 to 64 frame bitmaps and a sound block after a
// successful Open; a movie whose buffers did not all come into being must not
// reach the encoder, which would read through a missing picture.
bool ChunkBuffersReady(const V02Decode& decoder) {
  const uint32_t perChunk = decoder.framesPerChunk;
  if (perChunk == 0 || perChunk > V02Decode::kMaxFramesPerChunk) return false;
  for (uint32_t j = 0; j < perChunk; ++j) {
    if (!decoder.frameBitmaps[j] || decoder.frameBitmaps[j]->Empty()) return false;
  }
  return decoder.soundBlockBytes == 0 || decoder.soundBlock != nullptr;
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

void BatchDriver::BtnStartClick() {
  if (Busy) {
    AskAbort();
    return;
  }
  if (FileList.empty()) {
    lastOutcome = Outcome::kNothingToDo;
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
    host_.ShowError(kTextNoMemory);
    lastOutcome = Outcome::kStoppedByError;
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
  host_.SetProgressPosition(0);

  overwriteAll_ = false;
  filesConverted = 0;
  filesSkipped = 0;
  lastOutcome = Outcome::kCompleted;
  // The list may be replaced from Pump: its size and entry are read anew for
  // every file, and the entry is copied before anything can replace it.
  for (fileIndex = 0; fileIndex < FileList.size(); ++fileIndex) {
    // Nothing in the window can set the flag between files, but a host may
    // (an interrupt at the overwrite prompt): no further file is begun then.
    if (Aborting()) {
      lastOutcome = Outcome::kAborted;
      break;
    }
    const std::string inputPath = FileList[fileIndex];
    if (ConvertFile(*decoder, *encoder, inputPath) == FileEnd::kStop) break;
  }

  EndBatch();
}

BatchDriver::FileEnd BatchDriver::ConvertFile(V02Decode& decoder, MovieEncoder& encoder,
                                              const std::string& inputPath) {
  fileFrameCount = 0;
  fileFramesWritten = 0;

  auto stopWithError = [&](const std::string& message, bool encoderOpened) {
    host_.ShowError(message);
    decoder.Close();
    if (encoderOpened) encoder.Close();
    lastOutcome = Outcome::kStoppedByError;
    return FileEnd::kStop;
  };

  switch (decoder.Open(inputPath)) {
    case kMovieOk:
      break;
    case kMovieNoMemory:
      return stopWithError(kTextNoMemory, false);
    case kMovieUnsupported:
      return stopWithError(PathMessage(inputPath, kTextUnsupported), false);
    case kMovieReadError:
    default:
      return stopWithError(PathMessage(inputPath, kTextOpenFailed), false);
  }
  const uint32_t frameCount = decoder.frameCount;
  if (frameCount != 0 && !ChunkBuffersReady(decoder)) return stopWithError(kTextNoMemory, false);

  MovieEncoder::Shape shape;
  shape.frameCount = decoder.frameCount;
  shape.rate = decoder.rate;
  shape.scale = decoder.scale;
  shape.width = decoder.width;
  shape.height = decoder.height;
  shape.soundRate = decoder.soundRate;
  shape.soundBlockBytes = decoder.soundBlockBytes;
  fileFrameCount = frameCount;

  const std::string outputPath =
      OutputPath(SaveDir, inputPath, kNativePathStyle, encoder.Extension());
  bool mayReplace = false;
  if (RawFile::Exists(outputPath)) {
    // Overwriting this output would destroy the movie being read, whatever
    // the user answers; refuse it as an output that cannot be opened.
    if (IsSameFile(inputPath, outputPath)) {
      return stopWithError(PathMessage(outputPath, kTextOpenFailed), false);
    }
    if (!overwriteAll_) {
      const OverwriteAnswer answer = host_.ConfirmOverwrite(outputPath);
      if (Aborting()) {
        decoder.Close();
        lastOutcome = Outcome::kAborted;
        return FileEnd::kStop;
      }
      // A question closed without an answer skips the file like No: only an
      // explicit Yes may replace a user's file.
      if (answer == OverwriteAnswer::kNo || answer == OverwriteAnswer::kCancelled) {
        decoder.Close();
        ++filesSkipped;
        return FileEnd::kNext;
      }
      if (answer == OverwriteAnswer::kYesToAll) overwriteAll_ = true;
    }
    mayReplace = true;
  }

  if (encoder.Open(outputPath.c_str(), shape, mayReplace) != MovieEncoder::OpenResult::kOk) {
    return stopWithError(PathMessage(outputPath, kTextOpenFailed), true);
  }
  host_.ShowFileName(FileNamePart(inputPath));

  // Unsigned: a frame count above 2^31 is a count, not a negative number.
  uint32_t framesLeft = frameCount;
  const uint32_t perChunk = decoder.framesPerChunk;
  const auto position = static_cast<uint32_t>(fileIndex);
  while (framesLeft != 0) {
    const MovieResult read = decoder.ReadChunk();
    // Aborted inside the chunk: the file keeps the chunks before it.
    if (read == kMovieAborted) break;
    if (read != kMovieOk) {
      return stopWithError(PathMessage(inputPath, kTextReadFailed), true);
    }
    // The last chunk may hold fewer frames than there are slots. An abort
    // between two of a long chunk's frames ends the file there, without
    // that chunk's sound.
    for (uint32_t j = 0; j < perChunk && framesLeft != 0 && !Aborting(); ++j) {
      if (encoder.WriteVideo(decoder.frameBitmaps[j]->Pixels()) != 0) {
        return stopWithError(PathMessage(outputPath, kTextWriteFailed), true);
      }
      --framesLeft;
      ++fileFramesWritten;
    }
    if (Aborting()) break;
    // The whole block is written for every chunk, the last one included. A
    // failed sound write stops the batch like a failed frame: reporting the
    // file as converted would hide sound that is missing from it.
    if (encoder.WriteAudio(decoder.soundBlock.get()) != 0) {
      return stopWithError(PathMessage(outputPath, kTextWriteFailed), true);
    }
    host_.ShowFrame(*decoder.frameBitmaps[0]);
    host_.SetProgressPosition(ProgressPosition(frameCount, fileFramesWritten, position));
    host_.Pump();
    if (Aborting()) break;
  }

  decoder.Close();
  // A file that cannot be finished (its index, its header, its close) is a
  // write failure like one in mid-file.
  if (encoder.Close() != 0) {
    host_.ShowError(PathMessage(outputPath, kTextWriteFailed));
    lastOutcome = Outcome::kStoppedByError;
    return FileEnd::kStop;
  }
  if (Aborting()) {
    lastOutcome = Outcome::kAborted;
    return FileEnd::kStop;
  }
  if (fileDoneHook_ && !fileDoneHook_(inputPath, outputPath)) {
    lastOutcome = Outcome::kStoppedByError;
    return FileEnd::kStop;
  }
  ++filesConverted;
  return FileEnd::kNext;
}

void BatchDriver::EndBatch() {
  Busy = 0;
  AbortRequested = 0;
  abortNow_.store(false, std::memory_order_relaxed);
  host_.SetRunning(false);
  host_.SetProgressPosition(0);
}
