// Number texts, reading numbers from texts and the shared small routines.
#include <gtest/gtest.h>

#include <QStringList>
#include <limits>

#include "protocol/numtext.h"

using namespace ovx;

TEST(NumberText, BlankSignedAndPlainForms) {
  struct Case {
    double value;
    const char* blankSigned;
  } cases[] = {
      // clang-format off
      {0, " 0"}, {-0.0, " 0"}, {-5, "-5"}, {32767, " 32767"}, {0.25, " .25"}, {-0.5, "-.5"},
      {12.5, " 12.5"}, {1.0 / 3, " .333333333333333"}, {123456789012, " 123456789012"},
      {1e16, " 1E+16"}, {1e-6, " .000001"}, {-1.5e-7, "-.00000015"},
      {1e-20, " .00000000000000000001"}, {2.0 / 3e9, " .000000000666666666666667"},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BlankSigned(c.value), c.blankSigned) << c.value;
    EXPECT_EQ(Plain(c.value), QString(c.blankSigned).trimmed()) << c.value;
  }
  // Settings' delays are single precision: 0.1f must not show as .100000001490116.
  EXPECT_EQ(BlankSignedSingle(0.1f), " .1");
  EXPECT_EQ(PlainSingle(-1.5f), "-1.5");
  EXPECT_EQ(BlankSigned(0.1f), " .100000001490116");
  EXPECT_EQ(BlankSignedSingle(1e-7f), " .0000001");
  EXPECT_EQ(Plain(5e-324), "." + QString(323, '0') + "5");  // the smallest double
}

TEST(NumberText, LeadingAndWholeNumber) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"850°C", 850}, {"  12.5", 12.5}, {"-5", -5}, {"+7", 7}, {".5", 0.5}, {"0,5", 0},
      {"abc", 0},     {"-", 0},         {".", 0},   {"5.", 5}, {"1e3", 1},  {"\t3", 3},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << c.text;
  for (const char* text : {"abc", "-", ".", "", "=5", "-.x"})
    EXPECT_EQ(NumberAtStart(text), std::nullopt) << text;
  EXPECT_EQ(NumberAtStart(" \t-.5x"), -0.5);
  EXPECT_EQ(WholeNumber(" 850 "), 850);
  for (const char* text : {"850abc", "", "."}) EXPECT_EQ(WholeNumber(text), std::nullopt) << text;
}

// Halves to the even neighbour, in 16 bits and at any number of digits.
TEST(NumberText, ToInt16AndRoundDigits) {
  const double inf = std::numeric_limits<double>::infinity();
  QStringList whole;
  for (double v : {12.5, 13.5, -2.5, -1.5, 0.4, 32767.4, -32768.5, 32767.5, -32769.0, inf, -inf,
                   std::numeric_limits<double>::quiet_NaN()})
    whole << (ToInt16(v) ? QString::number(*ToInt16(v)) : "-");
  EXPECT_EQ(whole.join(' '), "12 14 -2 -2 0 32767 -32768 - - - - -");
  struct Case {
    double value;
    int digits;
    double result;
  } cases[] = {
      {0.5, 0, 0},       {1.5, 0, 2},   {2.5, 0, 2},       {-1.5, 0, -2},
      {0.7071, 3, .707}, {5e9, 3, 5e9}, {-3e12, 0, -3e12},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(RoundDigits(c.value, c.digits), c.result);
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("\t a b  "), "\t a b");
}
