// Frames, checksum, value encodings, the block layouts, and the number texts
// with the shared small routines.
#include <gtest/gtest.h>

#include <QStringList>
#include <limits>

#include "protocol/blocks.h"
#include "protocol/codec.h"
#include "protocol/numtext.h"

using namespace ovx;

// Checksums, value texts both ways (every value's round trip), requests and
// the write frame; a value whose text is cut short or out of range decodes as -1.
TEST(Codec, WorkedExamples) {
  const std::pair<QByteArray, const char*> sums[] = {
      // clang-format off
      {"abc", "0126"}, {"", "0000"}, {QByteArray(64, '@'), "1000"} /* 64 * 64 */,
      {"\x0F", "000F"}, {EncodeDataBlock(DefaultParameterSet()), "0C32"},
      // clang-format on
  };
  for (const auto& [text, sum] : sums) EXPECT_EQ(Checksum(text), sum) << text.constData();
  struct Case {
    int value, width;
    QByteArray text;
  } cases[] = {
      // clang-format off
      {0, 3, "   "}, {1, 3, "  !"}, {900, 3, " X$"}, {1023, 3, " _/"}, {1024, 3, "!  "},
      {1200, 3, "!+ "}, {-1, 3, "\x1F_/"}, {-32768, 3, QByteArray("\0  ", 3)},
      {0, 1, " "}, {1, 1, "!"}, {900, 2, " X$"},  // any width but 1 gives three characters
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeValue(c.value, c.width), c.text) << c.value;
  // Every value travels there and back: 16 bits in three characters, -32..223 in one.
  for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(DecodeValue(EncodeValue(v, 3), 1, 3), v);
  for (int v = -32; v <= 223; ++v) ASSERT_EQ(DecodeValue(EncodeValue(v, 1), 1, 1), v);
  struct {
    QByteArray text;
    int position, width, value;
  } decoded[] = {
      // clang-format off
      {"@  ", 1, 3, -1}, {"?_/", 1, 3, 32767},
      {"  ", 1, 3, -1}, {"   ", 4, 1, -1}, {"   ", 0, 1, -1}, {"ab X$", 3, 3, 900},
      // clang-format on
  };
  for (const auto& c : decoded)
    EXPECT_EQ(DecodeValue(c.text, c.position, c.width), c.value)
        << c.text.toPercentEncoding().constData();
  EXPECT_EQ(DataBlockRequest(7) + ValueBlockRequest(7) + DataBlockRequest(1234),
            "R007NT?R007NF?R1234NT?");
  DataBlockWords words{};
  words[1] = 900;
  EXPECT_EQ(WriteFrame(1, words), "S001  T     X$" + QByteArray(86, ' ') + "0BBCQ");
}

// The data block's words and listing; the value block's fields where the
// response carries them.
TEST(Blocks, DataAndValueBlocks) {
  DataBlockWords words{};
  words[0] = 1;
  words[3] = -5;
  words[37] = 1;
  EXPECT_EQ(DecodeDataBlock(EncodeDataBlock(words)), words);
  const QStringList lines = ListDataBlock(words).split(QStringLiteral("\r\n"));
  ASSERT_EQ(lines.size(), 47);  // 46 lines, each ended by CR LF
  EXPECT_EQ(QStringList({lines[0], lines[3], lines[15], lines[37], lines[45]}),
            QStringList({"nr: 1", "SP L:-5", "Pb II/ty: 0", "out: 1", "Res.: 0"}));

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
  EXPECT_EQ(QList<int>({v.ActualTemperature, v.OptimizationStatus}), QList<int>({900, 1}));
  EXPECT_EQ(v.Text1 + v.Text2 + v.Text3, field.mid(12, 12) + field.mid(36, 24) + field.mid(68));
  EXPECT_EQ(EncodeValueBlock(v), field);

  // A word beyond 16 bits goes back as it came, until the program sets it.
  const QByteArray odd = EncodeDataBlock(words).replace(15, 3, "@  ");  // word 5
  DataBlockWords oddWords = DecodeDataBlock(odd);
  oddWords[5] = 7;
  EXPECT_EQ(EncodeDataBlock(oddWords, UndecodableWords(odd)), EncodeDataBlock(oddWords));
}

// What the controller cannot have sent is no block; what it may send is. Its
// trailer and header count only once its answers of that block have shown
// that it fills them with the checksum and the block's name.
TEST(CheckResponse, JudgesByWhatTheControllerHasShown) {
  const QByteArray data = EncodeDataBlock(DefaultParameterSet());
  const QByteArray value = EncodeValueBlock(ValueBlock{});
  auto frame = [](const char* header, QByteArray field, const QByteArray& trailer = {}) {
    return QByteArray(header).leftJustified(17, ' ') + field +
           (trailer.isNull() ? Checksum(field) + "Q\r\n" : trailer);
  };
  auto with = [](QByteArray field, int at, const QByteArray& text) {
    return field.replace(at, text.size(), text);
  };
  using enum Outcome;
  using enum BlockKind;
  // Learned from answers that carry the checksum and name their block.
  AnswerRule rule, dataOnly;
  rule.learn(frame("A001NT", data), Data);
  rule.learn(frame("A001NF", value), Value);
  dataOnly.learn(frame("A001NT", data), Data);
  const QByteArray beyond = "@  ", nul(1, '\0'), spoilt = Checksum(data) + "Q\r\n";
  const struct {
    const char* name;
    QByteArray response;
    BlockKind kind;
    Outcome fresh, learned;  // before anything was learned, and after
  } cases[] = {
      // clang-format off
      {"data block", frame("A001NT OVX 7316", data), Data, Answered, Answered},
      {"value block", frame("A001NF OVX 7316", value), Value, Answered, Answered},
      {"header naming both", frame("NTNF", data), Data, Answered, Answered},
      {"value block for data", frame("A001NF", value), Data, Answered, NotABlock},
      {"data block for value", frame("A001NT", data), Value, Answered, NotABlock},
      {"nothing", "", Data, NoAnswer, NoAnswer},
      {"cut short", frame("", data).chopped(1), Data, WrongLength, WrongLength},
      {"data changed", frame("", with(data, 5, "~"), spoilt), Data, Answered, Corrupted},
      {"trailer 0000Q", frame("", data, "0000Q\r\n"), Data, Answered, Corrupted},
      {"trailer of blanks", frame("", value, "     \r\n"), Value, Answered, Corrupted},
      {"SP H beyond 16 bits", frame("", with(data, 12, beyond)), Data, Answered, Answered},
      {"NUL in CHAn", frame("", with(data, 69, nul)), Data, NotABlock, NotABlock},
      // clang-format on
  };
  for (const auto& c : cases) {
    // What the data block showed says nothing of the value block.
    const AnswerRule& fresh = c.kind == Value ? dataOnly : AnswerRule();
    EXPECT_EQ(CheckResponse(c.response, c.kind, fresh), c.fresh) << c.name;
    EXPECT_EQ(CheckResponse(c.response, c.kind, rule), c.learned) << c.name;
  }
}

// The number forms, reading numbers from texts, and rounding halves to the
// even neighbour, in 16 bits and at any number of digits.
TEST(NumberText, FormsReadingAndRounding) {
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
  EXPECT_EQ(QStringList({BlankSignedSingle(0.1f), PlainSingle(-1.5f), BlankSigned(0.1f),
                         BlankSignedSingle(1e-7f)}),
            QStringList({" .1", "-1.5", " .100000001490116", " .0000001"}));
  EXPECT_EQ(Plain(5e-324), "." + QString(323, '0') + "5");  // the smallest double
  struct {
    const char* text;
    double value;
  } texts[] = {
      {"850°C", 850}, {"  12.5", 12.5}, {"-5", -5}, {"+7", 7}, {".5", 0.5}, {"0,5", 0},
      {"abc", 0},     {"-", 0},         {".", 0},   {"5.", 5}, {"1e3", 1},  {"\t3", 3},
  };
  for (const auto& c : texts) EXPECT_DOUBLE_EQ(LeadingNumber(c.text), c.value) << c.text;
  for (const char* text : {"abc", "-", ".", "", "=5", "-.x"})
    EXPECT_EQ(NumberAtStart(text), std::nullopt) << text;
  EXPECT_EQ(NumberAtStart(" \t-.5x"), -0.5);
  EXPECT_EQ(WholeNumber(" 850 "), 850);
  for (const char* text : {"850abc", "", "."}) EXPECT_EQ(WholeNumber(text), std::nullopt) << text;
  const double inf = std::numeric_limits<double>::infinity();
  QStringList whole;
  for (double v : {12.5, 13.5, -2.5, -1.5, 0.4, 32767.4, -32768.5, 32767.5, -32769.0, inf, -inf,
                   std::numeric_limits<double>::quiet_NaN()})
    whole << (ToInt16(v) ? QString::number(*ToInt16(v)) : "-");
  EXPECT_EQ(whole.join(' '), "12 14 -2 -2 0 32767 -32768 - - - - -");
  struct {
    double value;
    int digits;
    double result;
  } rounded[] = {
      {0.5, 0, 0},       {1.5, 0, 2},   {2.5, 0, 2},       {-1.5, 0, -2},
      {0.7071, 3, .707}, {5e9, 3, 5e9}, {-3e12, 0, -3e12},  // beyond 32 bits
  };
  for (const auto& c : rounded) EXPECT_DOUBLE_EQ(RoundDigits(c.value, c.digits), c.result);
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(TrimBlanks("\t a b  "), "\t a b");
}
