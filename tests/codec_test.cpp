// Frames, checksum, value encodings and the block layouts.
#include <gtest/gtest.h>

#include <QStringList>

#include "link/blocks.h"
#include "link/codec.h"

using namespace ovx;

namespace {

QByteArray codes(std::initializer_list<int> list) {
  QByteArray out;
  for (int c : list) out += static_cast<char>(c);
  return out;
}

}  // namespace

TEST(Checksum, WorkedExamples) {
  struct Case {
    QByteArray text;
    const char* sum;
  } cases[] = {
      {"abc", "0126"},
      {"", "0000"},
      {QByteArray(64, '@'), "1000"},  // 64 * 64 = 4096
      {codes({15}), "000F"},
      {EncodeDataBlock(DefaultParameterSet()), "0C32"},
  };
  for (const auto& c : cases) EXPECT_EQ(Checksum(c.text), c.sum) << c.text.constData();
}

TEST(EncodeValue, WorkedExamples) {
  struct Case {
    int value, width;
    QByteArray text;
  } cases[] = {
      {0, 3, "   "},
      {1, 3, "  !"},
      {900, 3, " X$"},
      {1023, 3, " _/"},
      {1024, 3, "!  "},
      {1200, 3, "!+ "},
      {-1, 3, codes({31, 95, 47})},
      {-32768, 3, codes({0, 32, 32})},
      {0, 1, " "},
      {1, 1, "!"},
      {900, 2, " X$"},  // any width but 1 gives three characters
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeValue(c.value, c.width), c.text) << c.value;
}

TEST(DecodeValue, RoundTripsEveryValue) {
  for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(DecodeValue(EncodeValue(v, 3), 1, 3), v);
  for (int v = -32; v <= 223; ++v) ASSERT_EQ(DecodeValue(EncodeValue(v, 1), 1, 1), v);
}

TEST(DecodeValue, OutOfRangeAndShortTexts) {
  EXPECT_EQ(DecodeValue(codes({64, 32, 32}), 1, 3), -1);
  EXPECT_EQ(DecodeValue(codes({63, 95, 47}), 1, 3), 32767);
  EXPECT_EQ(DecodeValue(codes({255, 255, 255}), 1, 3), -1);
  EXPECT_EQ(DecodeValue("  ", 1, 3), -1);  // third character missing
  EXPECT_EQ(DecodeValue("   ", 4, 1), -1);
  EXPECT_EQ(DecodeValue("   ", 0, 1), -1);
  EXPECT_EQ(DecodeValue(" X$", 1, 3), 900);
  EXPECT_EQ(DecodeValue("ab X$", 3, 3), 900);
}

TEST(Frames, RequestsAndWriteFrame) {
  EXPECT_EQ(DataBlockRequest(1), "R001NT?");
  EXPECT_EQ(ValueBlockRequest(1), "R001NF?");
  EXPECT_EQ(DataBlockRequest(7), "R007NT?");
  EXPECT_EQ(ValueBlockRequest(12), "R012NF?");
  EXPECT_EQ(DataBlockRequest(1234), "R1234NT?");

  DataBlockWords words{};
  words[1] = 900;
  const QByteArray expected =
      "S001  T " + QByteArray("    X$") + QByteArray(63, ' ') + QByteArray(23, ' ') + "0BBCQ";
  EXPECT_EQ(WriteFrame(1, words), expected);
  EXPECT_EQ(WriteFrame(1, words).size(), 105);

  // The default set has the same checksum for every loop number.
  for (int loop : {1, 5, 999})
    EXPECT_TRUE(WriteFrame(loop, DefaultParameterSet()).endsWith("0C32Q"));
}

TEST(Blocks, DataBlockDecodingAndListing) {
  DataBlockWords zero = DecodeDataBlock(QByteArray(92, ' '));
  for (int16_t w : zero) EXPECT_EQ(w, 0);

  DataBlockWords words{};
  words[0] = 1;
  words[3] = -5;
  words[37] = 1;
  EXPECT_EQ(DecodeDataBlock(EncodeDataBlock(words)), words);
  const QStringList lines = ListDataBlock(words).split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 47);  // 46 lines, each ended by CR LF
  EXPECT_EQ(lines[0], "nr: 1");
  EXPECT_EQ(lines[3], "SP L:-5");
  EXPECT_EQ(lines[15], "Pb II/ty: 0");
  EXPECT_EQ(lines[37], "out: 1");
  EXPECT_EQ(lines[45], "Res.: 0");
}

TEST(Blocks, ResponseFieldsAndValueBlock) {
  QByteArray field(92, ' ');
  field.replace(0, 3, EncodeValue(900, 3));
  field[60] = '!';
  field.replace(12, 12, "abc def ghi ");
  field.replace(36, 24, "0123456789 0123456789 xy");
  field.replace(68, 24, "ZYXWVUTSRQPONMLKJIHGFEDC");
  const QByteArray response = QByteArray(17, '#') + field + QByteArray(7, '~');
  ASSERT_EQ(response.size(), kResponseLength);
  EXPECT_EQ(DataField(response), field);
  const ValueBlock v = DecodeValueBlock(DataField(response));
  EXPECT_EQ(v.ActualTemperature, 900);
  EXPECT_EQ(v.OptimizationStatus, 1);
  EXPECT_EQ(v.Text1, "abc def ghi ");
  EXPECT_EQ(v.Text2, "0123456789 0123456789 xy");
  EXPECT_EQ(v.Text3, "ZYXWVUTSRQPONMLKJIHGFEDC");
  EXPECT_EQ(EncodeValueBlock(v), field);
}
