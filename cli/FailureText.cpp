#include "cli/FailureText.h"

#include "cli/Gettext.h"

namespace {

const char* Translate(const char* text) { return gettext(text); }

// The AVI writer's refusals (AviRefusal) reach the command line in English
// and are translated where they are shown; listed here so that the
// catalogue has them.
[[maybe_unused]] constexpr const char* kAviRefusals[] = {
    N_("a frame is larger than an AVI chunk can hold"),
    N_("a chunk's sound is larger than an AVI chunk can hold"),
    N_("more frames than an AVI stream can count"),
    N_("more sound samples than an AVI stream can count"),
    N_("a sound rate higher than an AVI header can hold"),
    N_("a frame wider or taller than an AVI header can hold"),
    N_("a frame lasts longer than an AVI header can hold"),
    N_("more bytes per second than an AVI header can hold"),
};

}  // namespace

std::string FailureText(const MovieFailure& failure) {
  return DescribeFailure(failure, Translate);
}
