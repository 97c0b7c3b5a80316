// Turns a folder of movie files (".V02", ".V00" with their ".snd" companions,
// as our movie writer's corpus command makes them) into fuzzer inputs: the
// mode byte, the companion's length and bytes, then the movie's bytes, the
// layout MovieFuzzer.cpp reads.
//
//   v02dec_fuzz_seeds MOVIE_FOLDER SEED_FOLDER

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxInput = 65536;  // the fuzzer's -max_len

std::vector<char> ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: v02dec_fuzz_seeds MOVIE_FOLDER SEED_FOLDER\n");
    return 2;
  }
  const fs::path movies = argv[1];
  const fs::path seeds = argv[2];
  std::error_code error;
  fs::create_directories(seeds, error);
  if (error || !fs::is_directory(movies, error)) {
    std::fprintf(stderr, "v02dec_fuzz_seeds: cannot use %s or %s\n", argv[1], argv[2]);
    return 1;
  }
  size_t written = 0, skipped = 0;
  for (const auto& entry : fs::directory_iterator(movies)) {
    const std::string extension = Upper(entry.path().extension().string());
    if (extension != ".V02" && extension != ".V00") continue;
    const bool v00 = extension == ".V00";
    std::vector<char> movie = ReadAll(entry.path());
    std::vector<char> companion;
    fs::path companionPath = entry.path();
    companionPath.replace_extension(".snd");
    const bool withCompanion = v00 && fs::is_regular_file(companionPath, error);
    if (withCompanion) companion = ReadAll(companionPath);
    if (companion.size() > 0xFFFF || 3 + companion.size() + movie.size() > kMaxInput) {
      ++skipped;
      continue;
    }
    std::vector<char> input = {static_cast<char>((v00 ? 1 : 0) | (withCompanion ? 2 : 0)),
                               static_cast<char>(companion.size() & 0xFF),
                               static_cast<char>(companion.size() >> 8)};
    input.insert(input.end(), companion.begin(), companion.end());
    input.insert(input.end(), movie.begin(), movie.end());
    std::ofstream out(seeds / entry.path().filename(), std::ios::binary);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
    if (!out) {
      std::fprintf(stderr, "v02dec_fuzz_seeds: cannot write into %s\n", argv[2]);
      return 1;
    }
    ++written;
  }
  std::fprintf(stderr, "v02dec_fuzz_seeds: %zu seeds, %zu movies too large to use\n", written,
               skipped);
  return 0;
}
