#include <nettle/sha2.h>

#include "digest/Sha256Context.h"

static_assert(Sha256Context::kDigestBytes == SHA256_DIGEST_SIZE);

struct Sha256Context::State {
  sha256_ctx context;
};

Sha256Context::Sha256Context() : state_(std::make_unique<State>()) {
  sha256_init(&state_->context);
}

Sha256Context::~Sha256Context() = default;

bool Sha256Context::Usable() const { return true; }

void Sha256Context::Update(const void* data, size_t size) {
  sha256_update(&state_->context, size, static_cast<const uint8_t*>(data));
}

void Sha256Context::Finish(uint8_t (&digest)[kDigestBytes]) {
  sha256_digest(&state_->context, kDigestBytes, digest);
}
