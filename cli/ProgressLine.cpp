#include "cli/ProgressLine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/Gettext.h"

namespace {

// Decodes one UTF-8 character at text[i]; returns its length in bytes (1 for
// an invalid byte) and its code point (U+FFFD for an invalid byte).
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  uint32_t value = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
  } else {
    codePoint = 0xFFFD;
    return 1;
  }
  if (i + length > text.size()) {
    codePoint = 0xFFFD;
    return 1;
  }
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0u) != 0x80u) {
      codePoint = 0xFFFD;
      return 1;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  codePoint = value;
  return length;
}

size_t CellsOf(uint32_t cp) {
  const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
                    (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
                    (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
                    (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                    (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                    (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
  return wide ? 2 : 1;
}

// Bytes of the longest prefix of text that fits in cells display cells.
size_t PrefixFitting(std::string_view text, size_t cells, size_t& usedCells) {
  size_t i = 0;
  usedCells = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t length = DecodeUtf8(text, i, cp);
    const size_t width = CellsOf(cp);
    if (usedCells + width > cells) break;
    usedCells += width;
    i += length;
  }
  return i;
}

}  // namespace

size_t DisplayWidth(std::string_view text) {
  size_t cells = 0;
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    i += DecodeUtf8(text, i, cp);
    cells += CellsOf(cp);
  }
  return cells;
}

void FormatClock(int64_t seconds, char* out, size_t capacity) {
  if (seconds < 0) seconds = 0;
  const long long h = seconds / 3600;
  const int m = static_cast<int>(seconds / 60 % 60);
  const int s = static_cast<int>(seconds % 60);
  if (h > 0) {
    std::snprintf(out, capacity, "%lld:%02d:%02d", h, m, s);
  } else {
    std::snprintf(out, capacity, "%d:%02d", m, s);
  }
}

size_t FormatProgressLine(const ProgressState& state, size_t columns, char* out,
                          size_t capacity) {
  if (capacity == 0) return 0;
  char elapsed[32];
  char left[32];
  FormatClock(state.elapsedSeconds, elapsed, sizeof elapsed);
  if (state.secondsLeft < 0) {
    std::snprintf(left, sizeof left, "-:--");
  } else {
    FormatClock(state.secondsLeft, left, sizeof left);
  }
  char head[256];
  const int counted =
      std::snprintf(head, sizeof head, "%3u%% [%zu/%zu] %u/%u ", state.batchPercent,
                    state.fileNumber, state.fileTotal, state.framesDone, state.frameTotal);
  size_t headLength = counted > 0 ? static_cast<size_t>(counted) : 0;
  // TRANSLATORS: frames per second, time elapsed and time left in the
  // progress line.
  const int timed =
      std::snprintf(head + headLength, sizeof head - headLength, _("%u fps %s elapsed %s left "),
                    state.framesPerSecond, elapsed, left);
  if (timed > 0) headLength = std::min(sizeof head - 1, headLength + static_cast<size_t>(timed));
  const std::string_view headText(head, headLength);

  size_t written = 0;
  auto append = [&](std::string_view text) {
    const size_t n = text.size() < capacity - written ? text.size() : capacity - written;
    std::memcpy(out + written, text.data(), n);
    written += n;
  };

  const size_t headCells = DisplayWidth(headText);
  if (headCells >= columns) {
    size_t used = 0;
    append(headText.substr(0, PrefixFitting(headText, columns, used)));
    return written;
  }
  append(headText);
  const size_t room = columns - headCells;
  if (DisplayWidth(state.fileName) <= room) {
    append(state.fileName);
    return written;
  }
  static constexpr std::string_view kEllipsis = "...";
  if (room <= kEllipsis.size()) return written;
  size_t used = 0;
  const size_t keep = PrefixFitting(state.fileName, room - kEllipsis.size(), used);
  append(state.fileName.substr(0, keep));
  append(kEllipsis);
  return written;
}
