#pragma once

// Our AVI file service, in the shape of the part of the platform's AVIFile
// service that the encoder calls: the same published types and constants,
// the same calls under names of our own (AviFileOpen for AVIFileOpenA, and so
// on), since on Windows the platform's own service has the originals. Every
// system uses this writer, so a movie gives the same bytes everywhere.
//
// Our service writes AVI files only (create, add streams, set formats, append
// samples, release). Every structure reaches the file field by field in
// little-endian order; no structure is ever written as it lies in memory.
//
// The types stand in for the platform's own, whose definitions differ (DWORD
// is a long on Windows): a file that includes this header includes no
// <windows.h>.

#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int32_t HRESULT;
typedef uint32_t FOURCC;
typedef const char* LPCSTR;
typedef void* LPVOID;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
typedef GUID CLSID;
typedef const CLSID* LPCLSID;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// A four-character code: its four bytes in reading order, read as a
// little-endian 32-bit value ('vids' is 0x73646976).
constexpr FOURCC mmioFOURCC(char c0, char c1, char c2, char c3) {
  return static_cast<FOURCC>(static_cast<uint8_t>(c0)) |
         static_cast<FOURCC>(static_cast<uint8_t>(c1)) << 8 |
         static_cast<FOURCC>(static_cast<uint8_t>(c2)) << 16 |
         static_cast<FOURCC>(static_cast<uint8_t>(c3)) << 24;
}

constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');

// Open modes (the file service's OF_ flags).
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
constexpr UINT OF_CREATE = 0x1000;

// Index flags of a written chunk.
constexpr DWORD AVIIF_LIST = 0x00000001;
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;
constexpr DWORD AVIIF_NO_TIME = 0x00000100;

constexpr DWORD BI_RGB = 0;
constexpr WORD WAVE_FORMAT_PCM = 1;

// Results. 0 is success; failures are the service's published error values.
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT MAKE_AVIERR(int error) {
  return static_cast<HRESULT>(0x80044000u + static_cast<uint32_t>(error));
}
constexpr HRESULT AVIERR_UNSUPPORTED = MAKE_AVIERR(101);
constexpr HRESULT AVIERR_BADFORMAT = MAKE_AVIERR(102);
constexpr HRESULT AVIERR_MEMORY = MAKE_AVIERR(103);
constexpr HRESULT AVIERR_INTERNAL = MAKE_AVIERR(104);
constexpr HRESULT AVIERR_BADFLAGS = MAKE_AVIERR(105);
constexpr HRESULT AVIERR_BADPARAM = MAKE_AVIERR(106);
constexpr HRESULT AVIERR_BADSIZE = MAKE_AVIERR(107);
constexpr HRESULT AVIERR_BADHANDLE = MAKE_AVIERR(108);
constexpr HRESULT AVIERR_FILEREAD = MAKE_AVIERR(109);
constexpr HRESULT AVIERR_FILEWRITE = MAKE_AVIERR(110);
constexpr HRESULT AVIERR_FILEOPEN = MAKE_AVIERR(111);
constexpr HRESULT AVIERR_READONLY = MAKE_AVIERR(114);
constexpr HRESULT AVIERR_ERROR = MAKE_AVIERR(199);

// The published stream header as the caller fills it.
struct AVISTREAMINFOA {
  DWORD fccType;
  DWORD fccHandler;
  DWORD dwFlags;
  DWORD dwCaps;
  WORD wPriority;
  WORD wLanguage;
  DWORD dwScale;
  DWORD dwRate;
  DWORD dwStart;
  DWORD dwLength;
  DWORD dwInitialFrames;
  DWORD dwSuggestedBufferSize;
  DWORD dwQuality;
  DWORD dwSampleSize;
  RECT rcFrame;
  DWORD dwEditCount;
  DWORD dwFormatChangeCount;
  char szName[64];
};
static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA keeps its published layout");

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER keeps its published layout");

// The wave formats are packed: a WAVEFORMAT is 14 bytes and a PCMWAVEFORMAT
// 16, with no fill between the nested structure and wBitsPerSample.
#pragma pack(push, 2)
struct WAVEFORMAT {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
};
struct PCMWAVEFORMAT {
  WAVEFORMAT wf;
  WORD wBitsPerSample;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMAT) == 14, "WAVEFORMAT keeps its published layout");
static_assert(sizeof(PCMWAVEFORMAT) == 16, "PCMWAVEFORMAT keeps its published layout");

typedef struct IAVIFile* PAVIFILE;
typedef struct IAVIStream* PAVISTREAM;

extern "C" {

// Starts and stops the service; calls nest (each Init wants one Exit).
void AviFileInit(void);
void AviFileExit(void);

// Creates the file at szFile anew (an existing file is replaced). uMode must
// ask for writing and creating; only the AVI handler exists, so lpHandler must
// be null. *ppfile is null on failure.
HRESULT AviFileOpen(PAVIFILE* ppfile, LPCSTR szFile, UINT uMode, LPCLSID lpHandler);

// Adds a stream described by psi. Streams are numbered in the order created;
// all of them must exist before the first sample is written.
HRESULT AviFileCreateStream(PAVIFILE pfile, PAVISTREAM* ppavi, AVISTREAMINFOA* psi);

// Gives the stream its format: a BITMAPINFOHEADER (with any colour table) for
// 'vids', a WAVEFORMAT, PCMWAVEFORMAT or WAVEFORMATEX for 'auds'. Only at
// position 0 and before the first sample of the file is written.
HRESULT AviStreamSetFormat(PAVISTREAM pavi, LONG lPos, LPVOID lpFormat, LONG cbFormat);

// Appends lSamples samples (cbBuffer bytes at lpBuffer) as one chunk at
// position lStart, which must be the stream's current length. On failure
// nothing of the stream changes and the file stays well-formed.
HRESULT AviStreamWrite(PAVISTREAM pavi, LONG lStart, LONG lSamples, LPVOID lpBuffer,
                       LONG cbBuffer, DWORD dwFlags, LONG* plSampWritten,
                       LONG* plBytesWritten);

// Drop one reference and return the references left. The file is completed
// on disk when the file and every stream of it have been released.
ULONG AviStreamRelease(PAVISTREAM pavi);
ULONG AviFileRelease(PAVIFILE pfile);

}  // extern "C"

