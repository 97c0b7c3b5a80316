// Packed numbers in every form, byte for byte, and read back by the
// reference model as the skip of a CopyBytes run.

#include <gtest/gtest.h>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/OpList.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

using Form = mw::PackedForm;

TEST(PackedNumbers, UnsignedFormsAreExact) {
  struct Case {
    uint32_t value;
    Form form;
    const char* bytes;
  };
  const Case cases[] = {
      {0, Form::kShortest, "00"},
      {254, Form::kShortest, "FE"},
      {255, Form::kShortest, "FF FF 00"},
      {300, Form::kShortest, "FF 2C 01"},
      {65534, Form::kShortest, "FF FE FF"},
      {65535, Form::kShortest, "FF FF FF FF FF 00 00"},
      {0xFFFFFFFF, Form::kShortest, "FF FF FF FF FF FF FF"},
      {5, Form::kThreeBytes, "FF 05 00"},
      {5, Form::kSevenBytes, "FF FF FF 05 00 00 00"},
      {0, Form::kSevenBytes, "FF FF FF 00 00 00 00"},
      // The form is a minimum: too large a value takes the longer form.
      {70000, Form::kThreeBytes, "FF FF FF 70 11 01 00"},
  };
  for (const Case& c : cases) {
    mw::Bytes out;
    mw::PutPackedUnsigned(out, c.value, c.form);
    EXPECT_EQ(mw::ToHex(out), c.bytes) << c.value;
    EXPECT_EQ(mw::PackedUnsignedSize(c.value, c.form), out.size()) << c.value;
  }
}

TEST(PackedNumbers, SignedFormsAreExact) {
  struct Case {
    int32_t value;
    Form form;
    const char* bytes;
  };
  const Case cases[] = {
      {0, Form::kShortest, "00"},
      {127, Form::kShortest, "7F"},
      {-127, Form::kShortest, "81"},
      {-1, Form::kShortest, "FF"},
      {-128, Form::kShortest, "80 80 FF"},
      {-200, Form::kShortest, "80 38 FF"},
      {32767, Form::kShortest, "80 FF 7F"},
      {-32767, Form::kShortest, "80 01 80"},
      {-32768, Form::kShortest, "80 00 80 00 80 FF FF"},
      {INT32_MIN, Form::kShortest, "80 00 80 00 00 00 80"},
      {5, Form::kThreeBytes, "80 05 00"},
      {-5, Form::kSevenBytes, "80 00 80 FB FF FF FF"},
      {40000, Form::kThreeBytes, "80 00 80 40 9C 00 00"},
  };
  for (const Case& c : cases) {
    mw::Bytes out;
    mw::PutPackedSigned(out, c.value, c.form);
    EXPECT_EQ(mw::ToHex(out), c.bytes) << c.value;
    EXPECT_EQ(mw::PackedSignedSize(c.value, c.form), out.size()) << c.value;
  }
}

// Every form of a skip lands the copied byte at the same place.
TEST(PackedNumbers, LongerFormsReadTheSame) {
  const mw::FrameGeometry geometry{16, 8};
  for (uint32_t skip : {0u, 5u, 90u}) {
    for (Form form : {Form::kShortest, Form::kThreeBytes, Form::kSevenBytes}) {
      const mw::Bytes list =
          mw::OpList{}.Add(mw::CopyBytesOp({{skip, {0x42}, form, form}})).ToBytes();
      mw::Bytes working(96, 0);
      size_t position = 0;
      ASSERT_TRUE(mw::ApplyOpList(list, position, geometry, working));
      EXPECT_EQ(working[skip], 0x42) << skip;
      EXPECT_EQ(std::count(working.begin(), working.end(), 0), 95);
    }
  }
}

TEST(Hex, RoundTripsAndIgnoresSeparators) {
  EXPECT_EQ(mw::ToHex(mw::FromHex("02 00 · 04 11")), "02 00 04 11");
  EXPECT_EQ(mw::ToHex(mw::FromHex("02 00 . 04\n11 0d")), "02 00 04 11 0D");
  EXPECT_EQ(mw::ToHex(mw::FromHex("02 0x 11")), "02");
}

}  // namespace
