#pragma once

// --info and --check: what a movie holds and whether it decodes, without
// writing any file.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

class V02Decode;

struct MovieInfo {
  std::string path;
  bool vd00 = false;
  bool companion = false;  // VD00: a ".snd" file was found
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frameCount = 0;
  uint32_t rate = 0;
  uint32_t scale = 0;
  uint32_t framesPerChunk = 0;
  uint32_t soundRate = 0;
  // The AVI file a conversion would write; empty when it would be refused.
  std::optional<uint64_t> aviBytes;
};

// Opens the movie, takes what its header says and closes it again. False
// with the cause in `cause` when it does not open.
bool ReadMovieInfo(V02Decode& decoder, const std::string& path, uint64_t riffLimit,
                   MovieInfo& info, std::string& cause);

// One movie as lines of "label: value", and a list of movies as one JSON
// array; a movie that did not open is an object of its path and its cause.
struct InfoEntry {
  MovieInfo info;
  std::string failure;  // empty when it opened
};
std::string InfoText(const MovieInfo& info);
std::string InfoJson(const std::vector<InfoEntry>& entries);

// Decodes every chunk of the movie. Empty when all went well, else the
// failure: where it happened and why.
std::string CheckMovie(V02Decode& decoder, const std::string& path);

// The whole of --info and --check: reports to `out`, messages to `err`.
// Return the exit status: 0 all well, 1 a movie did not open or is damaged,
// or the report could not be written.
int RunInfo(const std::vector<std::string>& files, bool json, uint64_t riffLimit, FILE* out,
            FILE* err);
int RunCheck(const std::vector<std::string>& files, FILE* out, FILE* err);
