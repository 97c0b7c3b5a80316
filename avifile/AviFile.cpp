// The AVIFile interface over our container writer: handles with reference
// counts, as the platform's service hands them out. A stream keeps its file
// alive; the file is completed on disk when the last reference to the file
// or any of its streams is released, whatever the order of the releases.

#include "avifile/AviFile.h"

#include <cerrno>
#include <atomic>
#include <new>

#include "avifile/AviFileLimits.h"
#include "avifile/AviWriter.h"

struct IAVIFile {
  avifile::AviWriter writer;
  ULONG references = 1;
};

struct IAVIStream {
  IAVIFile* file = nullptr;
  int number = 0;
  ULONG references = 1;
};

namespace {

std::atomic<uint64_t> riffLimit{kAviDefaultRiffLimit};
std::atomic<uint64_t> refreshInterval{kAviDefaultRefreshInterval};
thread_local HRESULT lastFinish = AVIERR_OK;
thread_local int lastError = 0;
thread_local uint64_t lastLengths[avifile::AviWriter::kMaxStreams] = {};
std::atomic<int> initCount{0};
std::atomic<int> liveHandles{0};

}  // namespace

extern "C" {

void AviFileSetRiffLimit(uint64_t bytes) {
  riffLimit = bytes < 1 ? 1 : (bytes > 0xFFFFFFFFull ? 0xFFFFFFFFull : bytes);
}

uint64_t AviFileRiffLimit(void) { return riffLimit; }

void AviFileSetRefreshInterval(uint64_t bytes) { refreshInterval = bytes < 1 ? 1 : bytes; }

uint64_t AviFileRefreshInterval(void) { return refreshInterval; }

HRESULT AviFileLastFinishResult(void) { return lastFinish; }

int AviFileLastError(void) { return lastError; }

uint64_t AviFileLastFinishLength(int stream) {
  return stream >= 0 && stream < avifile::AviWriter::kMaxStreams ? lastLengths[stream] : 0;
}

int AviFileInitCount(void) { return initCount; }

int AviFileLiveHandles(void) { return liveHandles; }

void AviFileInit(void) { ++initCount; }

void AviFileExit(void) {
  int count = initCount.load();
  while (count > 0 && !initCount.compare_exchange_weak(count, count - 1)) {
  }
}

HRESULT AviFileOpen(PAVIFILE* ppfile, LPCSTR szFile, UINT uMode, LPCLSID lpHandler) {
  if (ppfile == nullptr) return AVIERR_BADPARAM;
  *ppfile = nullptr;
  if (szFile == nullptr) return AVIERR_BADPARAM;
  // Only the AVI file handler exists, and it only writes new files.
  if (lpHandler != nullptr) return AVIERR_UNSUPPORTED;
  if ((uMode & OF_CREATE) == 0 || (uMode & (OF_WRITE | OF_READWRITE)) == 0) {
    return AVIERR_UNSUPPORTED;
  }
  IAVIFile* file = new (std::nothrow) IAVIFile;
  if (file == nullptr) {
    lastError = ENOMEM;
    return AVIERR_MEMORY;
  }
  const HRESULT result = file->writer.Create(szFile, riffLimit, refreshInterval,
                                             (uMode & kAviOpenExclusive) != 0);
  if (result != AVIERR_OK) {
    lastError = file->writer.LastError();
    delete file;
    return result;
  }
  ++liveHandles;
  *ppfile = file;
  return AVIERR_OK;
}

HRESULT AviFileCreateStream(PAVIFILE pfile, PAVISTREAM* ppavi, AVISTREAMINFOA* psi) {
  if (ppavi == nullptr) return AVIERR_BADPARAM;
  *ppavi = nullptr;
  if (pfile == nullptr) return AVIERR_BADHANDLE;
  if (psi == nullptr) return AVIERR_BADPARAM;
  IAVIStream* stream = new (std::nothrow) IAVIStream;
  if (stream == nullptr) return AVIERR_MEMORY;
  const HRESULT result = pfile->writer.AddStream(*psi, &stream->number);
  if (result != AVIERR_OK) {
    lastError = pfile->writer.LastError();
    delete stream;
    return result;
  }
  stream->file = pfile;
  ++pfile->references;
  ++liveHandles;
  *ppavi = stream;
  return AVIERR_OK;
}

HRESULT AviStreamSetFormat(PAVISTREAM pavi, LONG lPos, LPVOID lpFormat, LONG cbFormat) {
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  const HRESULT result = pavi->file->writer.SetFormat(pavi->number, lPos, lpFormat, cbFormat);
  if (result != AVIERR_OK) lastError = pavi->file->writer.LastError();
  return result;
}

HRESULT AviStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, LPVOID lpBuffer,
                       LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten,
                       LONG* plBytesWritten) {
  if (plSampWritten != nullptr) *plSampWritten = 0;
  if (plBytesWritten != nullptr) *plBytesWritten = 0;
  if (pavi == nullptr) return AVIERR_BADHANDLE;
  const HRESULT result =
      pavi->file->writer.Write(pavi->number, lStart, lSamples, lpBuffer, cbBuffer, dwFlags);
  if (result == AVIERR_OK) {
    if (plSampWritten != nullptr) *plSampWritten = lSamples;
    if (plBytesWritten != nullptr) *plBytesWritten = cbBuffer;
  } else {
    lastError = pavi->file->writer.LastError();
  }
  return result;
}

ULONG AviFileRelease(PAVIFILE pfile) {
  if (pfile == nullptr) return 0;
  const ULONG left = --pfile->references;
  if (left == 0) {
    lastFinish = pfile->writer.Finish();
    if (lastFinish != AVIERR_OK) lastError = pfile->writer.LastError();
    for (int s = 0; s < avifile::AviWriter::kMaxStreams; ++s) {
      lastLengths[s] = pfile->writer.Length(s);
    }
    delete pfile;
    --liveHandles;
  }
  return left;
}

ULONG AviStreamRelease(PAVISTREAM pavi) {
  if (pavi == nullptr) return 0;
  const ULONG left = --pavi->references;
  if (left == 0) {
    IAVIFile* file = pavi->file;
    delete pavi;
    --liveHandles;
    AviFileRelease(file);
  }
  return left;
}

}  // extern "C"
