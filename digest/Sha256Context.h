#pragma once

// The hashing itself, from the system's well-kept library: nettle on POSIX
// systems (Sha256Nettle.cpp), BCrypt on Windows (Sha256Bcrypt.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>

class Sha256Context {
 public:
  static constexpr size_t kDigestBytes = 32;

  Sha256Context();
  ~Sha256Context();
  Sha256Context(const Sha256Context&) = delete;
  Sha256Context& operator=(const Sha256Context&) = delete;

  // False when the library could not be had (BCrypt's provider); the context
  // is then unusable.
  bool Usable() const;
  void Update(const void* data, size_t size);
  void Finish(uint8_t (&digest)[kDigestBytes]);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
