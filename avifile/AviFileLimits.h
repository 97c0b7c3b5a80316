#pragma once

// Extensions of our AVI writer that the platform's service does not have.
// They exist for tests and for the command line's hidden test option.

#include <cstdint>

#include "avifile/AviFile.h"

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

// How much movie data goes between two rewrites of the header while a file
// is written, so that a writer killed at any moment leaves a file that
// describes every chunk up to the last rewrite. Values below 1 become 1.
// Shared by every thread, for files opened afterwards.
constexpr uint64_t kAviDefaultRefreshInterval = uint64_t{64} << 20;
void AviFileSetRefreshInterval(uint64_t bytes);
uint64_t AviFileRefreshInterval(void);

// A mode flag for AviFileOpen beside OF_CREATE: create the file only if no
// file of that name exists (the open fails with errno EEXIST and changes
// nothing), instead of replacing it.
constexpr UINT kAviOpenExclusive = 0x00010000;

// The result of completing the file that the last release on this thread
// completed: AVIERR_OK, or AVIERR_FILEWRITE when anything of finishing it
// failed (the file is then well-formed over what it kept, or removed).
HRESULT AviFileLastFinishResult(void);
// errno behind the last failure of a call of this service on this thread
// (open, write or finish), 0 when there is none to give.
int AviFileLastError(void);
// Samples of the given stream (frames of a video stream) that the file the
// last release on this thread completed holds: fewer than were written when
// the last chunks gave way to the indexes on a full disk. 0 for a stream it
// does not have.
uint64_t AviFileLastFinishLength(int stream);

// AviFileInit calls not yet balanced by AviFileExit.
int AviFileInitCount(void);
// Files and streams created and not yet released.
int AviFileLiveHandles(void);

}  // extern "C"
