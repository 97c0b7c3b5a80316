#pragma once

// --info and --check: what a movie holds and whether it decodes, without
// writing any file.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch/MovieEncoder.h"

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
  uint32_t soundBlockBytes = 0;
  // Why the chosen writer refuses the movie; empty when it takes it.
  std::string refusal;
  // The AVI file a conversion would write; empty for other formats and when
  // the file's RIFF lists cannot take the movie.
  std::optional<uint64_t> aviBytes;
};

// What --info and --check are told: the format a conversion would write
// (empty: the header is read, and no writer asked) and
// what its writer refuses (English, empty when it takes the movie; the same
// function the writer's Open asks), the AVI writer's RIFF limit, and --json.
struct ProbeSettings {
  std::string format = "avi";
  std::function<std::string(const MovieEncoder::Shape&)> refusal;
  uint64_t riffLimit = 0;
  bool json = false;
};

// Opens the movie, takes what its header says and closes it again. False
// with the cause in `cause` when it does not open or the writer refuses it.
bool ReadMovieInfo(V02Decode& decoder, const std::string& path, const ProbeSettings& settings,
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
// A movie the writer refuses fails as such before it is decoded.
std::string CheckMovie(V02Decode& decoder, const std::string& path,
                       const ProbeSettings& settings);

// The whole of --info and --check: reports to `out`, messages to `err`.
// Return the exit status: 0 all well, 1 a movie did not open or is damaged,
// or the report could not be written.
int RunInfo(const std::vector<std::string>& files, const ProbeSettings& settings, FILE* out,
            FILE* err);
int RunCheck(const std::vector<std::string>& files, const ProbeSettings& settings, FILE* out,
             FILE* err);
