#pragma once

// A private folder for the files of one test, shared by every suite.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace porute_test {

// A fresh folder under $TMPDIR (or /tmp; the user's temporary folder on
// Windows), removed with all it holds when the object goes.
class TempDir {
 public:
  TempDir() {
    std::error_code error;
    const char* tmpdir = std::getenv("TMPDIR");
    const std::filesystem::path base = tmpdir != nullptr && *tmpdir != '\0'
                                           ? std::filesystem::path(tmpdir)
                                           : std::filesystem::temp_directory_path(error);
    if (error) return;
    const std::u8string baseText = base.u8string();
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate(baseText.begin(), baseText.end());
      candidate += "/porute-test-";
      for (int i = 0; i < 6; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
      // Made by this call, never one that was there.
      if (std::filesystem::create_directory(candidate, error)) {
        std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, error);
        path_ = candidate;
        return;
      }
    }
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  std::string operator/(const std::string& name) const { return Path(name); }

  // Writes a file of the folder and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string file = Path(name);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file;
  }

 private:
  std::string path_;
};

}  // namespace porute_test
