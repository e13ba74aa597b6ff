// Number texts, reading numbers from texts and the shared small routines.
#include <gtest/gtest.h>

#include <limits>

#include "app/numtext.h"
#include "app/tools.h"

using namespace ovx;

TEST(NumberText, BlankSignedAndPlainForms) {
  struct Case {
    double value;
    const char* blankSigned;
  } cases[] = {
      {0, " 0"},
      {1, " 1"},
      {-5, "-5"},
      {900, " 900"},
      {1200, " 1200"},
      {32767, " 32767"},
      {0.25, " .25"},
      {-0.5, "-.5"},
      {0.289, " .289"},
      {12.5, " 12.5"},
      {-0.0, " 0"},
      {100, " 100"},
      {1.0 / 3, " .333333333333333"},
      {123456789012, " 123456789012"},
      {0.707, " .707"},
      {1e16, " 1E+16"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BlankSigned(c.value), c.blankSigned) << c.value;
    EXPECT_EQ(Plain(c.value), QString(c.blankSigned).trimmed()) << c.value;
  }
}

TEST(NumberText, SinglePrecisionShowsSevenDigits) {
  EXPECT_EQ(BlankSignedSingle(0.1f), " .1");
  EXPECT_EQ(BlankSignedSingle(1.0f), " 1");
  EXPECT_EQ(BlankSignedSingle(0.0f), " 0");
  EXPECT_EQ(PlainSingle(0.2f), ".2");
  EXPECT_EQ(PlainSingle(-1.5f), "-1.5");
  EXPECT_EQ(BlankSigned(0.1f), " .100000001490116");  // the fault the single form avoids
}

TEST(NumberText, LeadingNumber) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"850", 850}, {"850°C", 850}, {"  12.5", 12.5}, {"-5", -5},       {"+7", 7},    {".5", 0.5},
      {"0.5", 0.5}, {"0,5", 0},     {"abc", 0},       {"", 0},          {"-", 0},     {".", 0},
      {"5.", 5},    {"1e3", 1},     {"\t3", 3},       {"500.1", 500.1}, {"48I8", 48},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << c.text;

  EXPECT_EQ(WholeNumber(" 850 "), 850);
  EXPECT_EQ(WholeNumber("850abc"), std::nullopt);
  EXPECT_EQ(WholeNumber(""), std::nullopt);
  EXPECT_EQ(WholeNumber("."), std::nullopt);
}

TEST(NumberText, ToInt16RoundsHalvesToEven) {
  struct Case {
    double value;
    std::optional<int16_t> whole;
  } cases[] = {
      {12.5, 12},
      {13.5, 14},
      {-1.5, -2},
      {-2.5, -2},
      {0.4, 0},
      {32767.4, 32767},
      {32767.5, std::nullopt},
      {-32768.5, -32768},
      {-32769, std::nullopt},
      {std::numeric_limits<double>::infinity(), std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ToInt16(c.value), c.whole) << c.value;
}

TEST(Tools, RoundDigitsAndTrimBlanks) {
  struct Case {
    double value;
    int digits;
    double result;
  } cases[] = {
      {0.5, 0, 0},         {1.5, 0, 2},       {2.5, 0, 2},   {-1.5, 0, -2},
      {1.23456, 3, 1.235}, {0.7071, 3, .707}, {5e9, 3, 5e9}, {-3e12, 0, -3e12},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(RoundDigits(c.value, c.digits), c.result);

  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("\ta "), "\ta");
}
