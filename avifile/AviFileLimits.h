#pragma once

// Extensions of our AVI writer that the platform's service does not have.
// They exist for tests and for the command line's hidden test option.

#include <cstdint>

extern "C" {

// The RIFF size limit. When the next chunk (with the index that the RIFF will
// need) would take the current RIFF past this many bytes, the RIFF is closed
// and the movie goes on in a further 'AVIX' RIFF, which makes the file an
// OpenDML file. The default, 1 GiB, is the size that every reader of plain AVI
// files copes with. Lower it to test the multi-RIFF path with small files.
// Values are clamped to 1 .. 0xFFFFFFFF (a RIFF size is 32 bits); a RIFF
// always takes at least one chunk, however low the limit. The setting applies
// to files opened afterwards and is shared by every thread.
constexpr uint64_t kAviDefaultRiffLimit = uint64_t{1} << 30;
void AviFileSetRiffLimit(uint64_t bytes);
uint64_t AviFileRiffLimit(void);

// AVIFileInit calls not yet balanced by AVIFileExit.
int AviFileInitCount(void);
// Files and streams created and not yet released.
int AviFileLiveHandles(void);

}  // extern "C"
