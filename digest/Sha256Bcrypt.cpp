#include <windows.h>
#include <bcrypt.h>

#include <climits>
#include <cstring>

#include "digest/Sha256Context.h"

struct Sha256Context::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256Context::Sha256Context() : state_(std::make_unique<State>()) {
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
    state_->algorithm = nullptr;
    return;
  }
  // The hash object's memory is BCrypt's own (Windows 7 and later).
  if (BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) < 0) {
    state_->hash = nullptr;
  }
}

Sha256Context::~Sha256Context() {
  if (state_->hash != nullptr) BCryptDestroyHash(state_->hash);
  if (state_->algorithm != nullptr) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

bool Sha256Context::Usable() const { return state_->hash != nullptr; }

void Sha256Context::Update(const void* data, size_t size) {
  if (state_->hash == nullptr) return;
  auto* bytes = static_cast<UCHAR*>(const_cast<void*>(data));
  while (size != 0) {
    const ULONG piece = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
    BCryptHashData(state_->hash, bytes, piece, 0);
    bytes += piece;
    size -= piece;
  }
}

void Sha256Context::Finish(uint8_t (&digest)[kDigestBytes]) {
  if (state_->hash == nullptr || BCryptFinishHash(state_->hash, digest, kDigestBytes, 0) < 0) {
    std::memset(digest, 0, kDigestBytes);
  }
}
