#pragma once

// NOTE FOR THE IMPLEMENTER OF batch/: the public members below are what the
// window and the command line use; keep their names and meaning. Add what
// the implementation needs. Remove this note when the driver is done.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchHost.h"

// Converts every path of FileList, in order, into one AVI file each, driving
// one decoder and one encoder through a whole batch and reporting through its
// host. The window and the command line share this state with it.
class BatchDriver {
 public:
  explicit BatchDriver(BatchHost& host);
  virtual ~BatchDriver();

  // Input paths in order; duplicates allowed. May be replaced during a batch
  // (from BatchHost::Pump): the loop reads its length and entry anew per file.
  std::vector<std::string> FileList;
  // Output folder; empty means next to each input.
  std::string SaveDir;
  int Busy = 0;            // 1 while a batch runs
  int AbortRequested = 0;  // 1 once the user confirmed an abort

  // Idle: converts FileList as one batch and returns when it has ended.
  // Busy (called again from within Pump): asks the abort question.
  void BtnStartClick();

  // The abort question; Yes sets AbortRequested. Returns the answer.
  bool AskAbort();

  // How the last batch ended, for the command line's exit status.
  enum class Outcome { kNothingToDo, kCompleted, kStoppedByError, kAborted };
  Outcome lastOutcome = Outcome::kNothingToDo;

  // Progress of the file in hand, for hosts that show more than the bar.
  size_t fileIndex = 0;
  uint32_t fileFrameCount = 0;
  uint32_t fileFramesWritten = 0;

 private:
  BatchHost& host_;
};
