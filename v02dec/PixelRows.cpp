// A movie pixel is 16 bits: blue in bits 0-4, red in 5-9, green in 10-14
// (green on top, unlike the common 5-5-5 layout), bit 15 ignored. Each 5-bit
// component lands in the top bits of its byte with the low 3 bits zero, so
// full intensity is 0xF8:
//   blue = (p << 3) & 0xF8, green = (p >> 7) & 0xF8, red = (p >> 2) & 0xF8.

#include "v02dec/PixelRows.h"

#include <bit>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define PORUTE_X86_VECTORS 1
#include <immintrin.h>
#endif

static_assert(std::endian::native == std::endian::little,
              "bitmap bytes are assembled in little-endian words");

namespace pixelrows {
namespace {

// Blue, green and red of one movie pixel in the low three bytes.
constexpr uint32_t BlueGreenRed(uint32_t p) {
  return ((p << 3) & 0xF8) | ((p >> 7) & 0xF8) << 8 | ((p >> 2) & 0xF8) << 16;
}

// Each output bit comes from one input bit, so the colour of a pixel is the
// colour of its low byte OR the colour of its high byte: two lookups in 2 KB
// of tables instead of three shifts and masks per component.
struct ByteColours {
  uint32_t low[256];
  uint32_t high[256];
  constexpr ByteColours() : low{}, high{} {
    for (uint32_t b = 0; b < 256; ++b) {
      low[b] = BlueGreenRed(b);
      high[b] = BlueGreenRed(b << 8);
    }
  }
};
constexpr ByteColours kByteColours;

inline uint32_t Colour(uint16_t pixel) {
  return kByteColours.low[pixel & 0xFF] | kByteColours.high[pixel >> 8];
}

void PortableRow(const uint16_t* pixel, size_t count, uint8_t* out) {
  size_t x = 0;
  // Four pixels make 12 bytes, stored as three 4-byte words.
  for (; x + 4 <= count; x += 4, pixel += 4, out += 12) {
    uint32_t c0 = Colour(pixel[0]), c1 = Colour(pixel[1]);
    uint32_t c2 = Colour(pixel[2]), c3 = Colour(pixel[3]);
    uint32_t first = c0 | c1 << 24, second = c1 >> 8 | c2 << 16, third = c2 >> 16 | c3 << 8;
    std::memcpy(out, &first, 4);
    std::memcpy(out + 4, &second, 4);
    std::memcpy(out + 8, &third, 4);
  }
  for (; x < count; ++x, ++pixel, out += 3) {
    uint32_t c = Colour(*pixel);
    out[0] = static_cast<uint8_t>(c);
    out[1] = static_cast<uint8_t>(c >> 8);
    out[2] = static_cast<uint8_t>(c >> 16);
  }
}

#ifdef PORUTE_X86_VECTORS

// Sixteen pixels make 48 bytes, three 16-byte vectors. Each 16-bit lane of a
// pixel vector is turned into a blue-green pair (blue in the low byte, green
// in the high one) and a red byte; byte shuffles then interleave the pairs
// and the reds into blue, green, red order. Output vector v holds bytes
// 16v to 16v + 15, which belong to pixels from (16v) / 3 on: vector 0 takes
// its pairs from pixels 0-7, vector 2 from pixels 8-15, and vector 1 from
// pixels 5-12, joined from both halves. A shuffle index with the top bit set
// gives a zero byte, so each output is one shuffle of pairs OR one of reds.
struct ShuffleMasks {
  int8_t pairs[3][16];
  int8_t reds[3][16];
};

constexpr ShuffleMasks MakeShuffleMasks() {
  ShuffleMasks masks{};
  constexpr int kFirstPairPixel[3] = {0, 5, 8};
  for (int v = 0; v < 3; ++v) {
    for (int j = 0; j < 16; ++j) {
      const int byte = 16 * v + j;
      const int pixel = byte / 3;
      const int component = byte % 3;  // 0 blue, 1 green, 2 red
      if (component == 2) {
        masks.pairs[v][j] = -128;
        masks.reds[v][j] = static_cast<int8_t>(pixel);
      } else {
        masks.pairs[v][j] = static_cast<int8_t>(2 * (pixel - kFirstPairPixel[v]) + component);
        masks.reds[v][j] = -128;
      }
    }
  }
  return masks;
}

alignas(16) constexpr ShuffleMasks kShuffleMasks = MakeShuffleMasks();

// Blue in bits 0-7 and green in bits 8-15 of each 16-bit lane:
// ((p << 3) & 0xF8) | ((p >> 7) & 0xF8) << 8, the second part being (p << 1) & 0xF800.
__attribute__((target("ssse3"))) inline __m128i BlueGreenPairs(__m128i p) {
  return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(p, 3), _mm_set1_epi16(0x00F8)),
                      _mm_and_si128(_mm_slli_epi16(p, 1), _mm_set1_epi16(-0x0800)));
}

__attribute__((target("ssse3"))) inline __m128i Reds(__m128i p) {
  return _mm_and_si128(_mm_srli_epi16(p, 2), _mm_set1_epi16(0x00F8));
}

__attribute__((target("ssse3"))) inline __m128i Mask(const int8_t (&mask)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
}

__attribute__((target("ssse3"))) inline void SixteenPixels(const uint16_t* pixel, uint8_t* out) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + 8));
  const __m128i pairs0 = BlueGreenPairs(first);
  const __m128i pairs1 = BlueGreenPairs(second);
  const __m128i pairs5 = _mm_alignr_epi8(pairs1, pairs0, 10);
  // Reds of 0xF8 at most: packing with unsigned saturation keeps them.
  const __m128i reds = _mm_packus_epi16(Reds(first), Reds(second));
  const ShuffleMasks& m = kShuffleMasks;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_or_si128(_mm_shuffle_epi8(pairs0, Mask(m.pairs[0])),
                                _mm_shuffle_epi8(reds, Mask(m.reds[0]))));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                   _mm_or_si128(_mm_shuffle_epi8(pairs5, Mask(m.pairs[1])),
                                _mm_shuffle_epi8(reds, Mask(m.reds[1]))));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                   _mm_or_si128(_mm_shuffle_epi8(pairs1, Mask(m.pairs[2])),
                                _mm_shuffle_epi8(reds, Mask(m.reds[2]))));
}

__attribute__((target("ssse3"))) void Ssse3Row(const uint16_t* pixel, size_t count, uint8_t* out) {
  size_t x = 0;
  for (; x + 16 <= count; x += 16, pixel += 16, out += 48) SixteenPixels(pixel, out);
  PortableRow(pixel, count - x, out);
}

// AVX2 shuffles stay within 128-bit halves, so each half runs the 16-pixel
// scheme above on its own group: the low half on pixels 0-15, the high half
// on pixels 16-31. The six resulting 16-byte pieces are then put in order
// for three 32-byte stores.
__attribute__((target("avx2"))) inline __m256i Halves(const uint16_t* low, const uint16_t* high) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

__attribute__((target("avx2"))) inline __m256i Mask2(const int8_t (&mask)[16]) {
  return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(mask)));
}

__attribute__((target("avx2"))) void Avx2Row(const uint16_t* pixel, size_t count, uint8_t* out) {
  const ShuffleMasks& m = kShuffleMasks;
  const __m256i pairMask0 = Mask2(m.pairs[0]), pairMask1 = Mask2(m.pairs[1]);
  const __m256i pairMask2 = Mask2(m.pairs[2]), redMask0 = Mask2(m.reds[0]);
  const __m256i redMask1 = Mask2(m.reds[1]), redMask2 = Mask2(m.reds[2]);
  const __m256i low = _mm256_set1_epi16(0x00F8), high = _mm256_set1_epi16(-0x0800);
  size_t x = 0;
  for (; x + 32 <= count; x += 32, pixel += 32, out += 96) {
    const __m256i first = Halves(pixel, pixel + 16);       // pixels 0-7 | 16-23
    const __m256i second = Halves(pixel + 8, pixel + 24);  // pixels 8-15 | 24-31
    const __m256i pairs0 = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(first, 3), low),
                                           _mm256_and_si256(_mm256_slli_epi16(first, 1), high));
    const __m256i pairs1 = _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(second, 3), low),
                                           _mm256_and_si256(_mm256_slli_epi16(second, 1), high));
    const __m256i pairs5 = _mm256_alignr_epi8(pairs1, pairs0, 10);
    const __m256i reds = _mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(first, 2), low),
                                             _mm256_and_si256(_mm256_srli_epi16(second, 2), low));
    const __m256i out0 = _mm256_or_si256(_mm256_shuffle_epi8(pairs0, pairMask0),
                                         _mm256_shuffle_epi8(reds, redMask0));  // bytes 0 | 48
    const __m256i out1 = _mm256_or_si256(_mm256_shuffle_epi8(pairs5, pairMask1),
                                         _mm256_shuffle_epi8(reds, redMask1));  // 16 | 64
    const __m256i out2 = _mm256_or_si256(_mm256_shuffle_epi8(pairs1, pairMask2),
                                         _mm256_shuffle_epi8(reds, redMask2));  // 32 | 80
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permute2x128_si256(out0, out1, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                        _mm256_permute2x128_si256(out2, out0, 0x30));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64),
                        _mm256_permute2x128_si256(out1, out2, 0x31));
  }
  Ssse3Row(pixel, count - x, out);
}

#endif  // PORUTE_X86_VECTORS

struct PathList {
  Path paths[kMaxPaths];
  size_t count = 0;
  PathList() {
    paths[count++] = {"portable", PortableRow};
#ifdef PORUTE_X86_VECTORS
    if (__builtin_cpu_supports("ssse3")) paths[count++] = {"ssse3", Ssse3Row};
    if (__builtin_cpu_supports("avx2")) paths[count++] = {"avx2", Avx2Row};
#endif
  }
};

const PathList& Paths() {
  static const PathList list;
  return list;
}

}  // namespace

const Path* Available(size_t* count) {
  const PathList& list = Paths();
  *count = list.count;
  return list.paths;
}

RowFunction Best() {
  static const RowFunction best = Paths().paths[Paths().count - 1].convert;
  return best;
}

}  // namespace pixelrows
