#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The one-line status that porute2avi redraws on a terminal while it works.
struct ProgressState {
  uint32_t batchPercent = 0;   // whole batch, 0 to 100
  size_t fileNumber = 0;       // 1-based number of the file in hand
  size_t fileTotal = 0;        // files in the list
  uint32_t framesDone = 0;     // frames of this file written so far
  uint32_t frameTotal = 0;     // frames of this file
  std::string_view fileName;   // file-name part of the input, as shown
  // Frames written per second over the batch so far, the time since the
  // batch began and the time it will still take (-1: not known yet).
  uint32_t framesPerSecond = 0;
  int64_t elapsedSeconds = 0;
  int64_t secondsLeft = -1;
};

// A span of time as the progress line shows it: "0:07", "12:34", "1:02:03".
void FormatClock(int64_t seconds, char* out, size_t capacity);

// Display cells that text takes on a terminal: one per character, two for the
// wide characters of East Asian scripts (kana, kanji, hangul, full-width
// forms). Bytes that are not valid UTF-8 count one cell each.
size_t DisplayWidth(std::string_view text);

// Composes the status line, without control codes or line feed, into out:
// " 45% [2/3] 120/300 52 fps 0:12 elapsed 0:05 left name.V02" (the words in
// the locale's language). When it would take more than columns cells
// the file name is cut (at a character boundary, ending in "...") and, if
// even that does not fit, the line is cut from the right. Returns the bytes
// written; out is not zero-terminated. No allocation: this runs per chunk.
size_t FormatProgressLine(const ProgressState& state, size_t columns, char* out,
                          size_t capacity);
