// The package scanning routines, the package generator and the shape of the
// package the image embeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/Package.h"
#include "TestSupport.h"

namespace {

using testsupport::ReadFileText;

// --- ReadLine ---

struct ReadLineCase {
  const char *Name;
  std::string Text;
  uint32_t Limit;
  bool Ok;
  uint32_t Length;    // the line's length on success
  size_t Advance;     // how far the cursor moved
};

void PrintTo(const ReadLineCase &Case, std::ostream *Out) { *Out << Case.Name; }

class ReadLineTest : public ::testing::TestWithParam<ReadLineCase> {};

TEST_P(ReadLineTest, ReadsOneLine) {
  const ReadLineCase &C = GetParam();
  // The text sits in front of a sentinel so a read past its end would show.
  std::string Text = C.Text + std::string(1, '\0');
  std::vector<CHAR8> Destination(C.Limit + 8, '#');
  const CHAR8 *Cursor = Text.data();
  UINT32 Limit = C.Limit;
  BOOLEAN Ok = ReadLine(&Cursor, Destination.data(), &Limit);
  ASSERT_EQ(Ok != FALSE, C.Ok);
  EXPECT_EQ(static_cast<size_t>(Cursor - Text.data()), C.Advance);
  if (C.Ok) {
    EXPECT_EQ(Limit, C.Length);
    EXPECT_EQ(std::string(Destination.data(), C.Length), C.Text.substr(0, C.Length));
    EXPECT_EQ(Destination[C.Length], '\0');
  } else {
    // The characters taken are copied, but no NUL is put behind them.
    EXPECT_EQ(std::string(Destination.data(), C.Advance), C.Text.substr(0, C.Advance));
    EXPECT_EQ(Destination[C.Advance], '#');
  }
}

const std::string kLine1023(1023, 'A');
const std::string kLine1024(1024, 'A');

INSTANTIATE_TEST_SUITE_P(
    Scan, ReadLineTest,
    ::testing::Values(
        ReadLineCase{"CrLf", "AB\r\nCD", 1024, true, 2, 4},
        ReadLineCase{"LfLf", "AB\n\nCD", 1024, true, 2, 4},
        ReadLineCase{"LoneCr", "AB\rCD", 1024, true, 2, 3},
        ReadLineCase{"LoneLf", "AB\nCD", 1024, true, 2, 3},
        ReadLineCase{"CrCrEndsOnlyTheFirstLine", "AB\r\rCD", 1024, true, 2, 3},
        ReadLineCase{"EmptyLine", "\r\nCD", 1024, true, 0, 2},
        ReadLineCase{"NulIsOrdinary", std::string("A\0B\r\n", 5), 1024, true, 3, 5},
        ReadLineCase{"LimitZero", "AB\r\n", 0, false, 0, 0},
        ReadLineCase{"LimitOneEmptyLine", "\r\n", 1, true, 0, 2},
        ReadLineCase{"LimitOneNonEmpty", "A\r\n", 1, false, 0, 1},
        ReadLineCase{"ThqaDataLine", "D2 88 8E 07 A1 EF E4 54\r\n", 32, true, 23, 25},
        ReadLineCase{"ThirtyOneFitLimit32", std::string(31, '0') + "\r\n", 32, true, 31, 33},
        ReadLineCase{"ThirtyTwoExceedLimit32", std::string(32, '0') + "\r\n", 32, false, 0, 32},
        ReadLineCase{"Line1023", kLine1023 + "\r\n", 1024, true, 1023, 1025},
        ReadLineCase{"Line1024", kLine1024 + "\r\n", 1024, false, 0, 1024},
        ReadLineCase{"NoLineEnd", kLine1024 + "AAAA", 1024, false, 0, 1024}),
    [](const ::testing::TestParamInfo<ReadLineCase> &Info) { return Info.param.Name; });

TEST(Scan, ReadLineCrCrYieldsAnEmptySecondLine) {
  const char Text[] = "AB\r\rCD\r\n";
  const CHAR8 *Cursor = Text;
  CHAR8 Line[16];
  UINT32 Limit = sizeof Line;
  ASSERT_TRUE(ReadLine(&Cursor, Line, &Limit));
  Limit = sizeof Line;
  ASSERT_TRUE(ReadLine(&Cursor, Line, &Limit));
  EXPECT_EQ(Limit, 0u);
  Limit = sizeof Line;
  ASSERT_TRUE(ReadLine(&Cursor, Line, &Limit));
  EXPECT_STREQ(Line, "CD");
  EXPECT_EQ(Cursor, Text + 8);
}

// --- ReadHexNumber ---

struct HexNumberCase {
  std::string Text;
  uint32_t Digits;
  uint32_t Value;
};

TEST(Scan, ReadHexNumber) {
  const HexNumberCase kCases[] = {
      {"3FCF0", 5, 261360},
      {"332", 3, 818},
      {"EF6", 3, 0xEF6},
      {"12", 0, 0},  // nothing read, the cursor stays
      {"00000000", 8, 0},
      {"FFFFFFFF", 8, 0xFFFFFFFFu},
      {"13000100", 8, 0x13000100u},
      {"1a", 2, 0x3A},  // a lowercase digit spills into the next: 0x10 | 0x2A
      {"a", 1, 0x2A},
      {" ", 1, 0xF0},
      {std::string(1, '\0'), 1, 0xD0},
      {"1 ", 2, 0xF0},
      {"G", 1, 0x10},
      {"12345678", 4, 0x1234},  // only the digits asked for
      {"F0000000", 8, 0xF0000000u},
      {"a0000000", 8, 0xA0000000u},  // the spill past bit 31 is dropped
  };
  for (const HexNumberCase &C : kCases) {
    SCOPED_TRACE("\"" + C.Text + "\" n=" + std::to_string(C.Digits));
    std::string Text = C.Text + "ZZ";
    const CHAR8 *Cursor = Text.data();
    EXPECT_EQ(ReadHexNumber(&Cursor, C.Digits), C.Value);
    EXPECT_EQ(static_cast<uint32_t>(Cursor - Text.data()), C.Digits);
  }
}

// --- HexDigitValue ---

TEST(Scan, HexDigitValue) {
  const struct {
    char Character;
    uint8_t Value;
  } kCases[] = {
      {'0', 0},    {'9', 9},    {'A', 10},   {'F', 15},  {'a', 0x2A}, {'f', 0x2F},
      {'g', 0},    {' ', 0},    {'/', 0},    {':', 10},  {'<', 5},    {'\0', 0},
      {'\r', 0},   {'\x80', 0}, {'\xFF', 0}, {'G', 0x10}, {'`', 0x29},
  };
  for (const auto &C : kCases) {
    SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(C.Character)));
    EXPECT_EQ(HexDigitValue(C.Character), C.Value);
  }
}

// --- ParseHeaderLine ---

struct HeaderCase {
  const char *Name;
  std::string Line;  // may carry text behind its NUL that must not be read
  bool IsHeader;
  bool Thqa, Cfg, Fw;
};

TEST(Scan, ParseHeaderLine) {
  const HeaderCase kCases[] = {
      {"package", "<THQA=ON CFG=ON FW=ON>", true, true, true, true},
      {"thqa three-char value", "<THQA=OFF CFG=ON FW=ON>", true, false, true, true},
      {"cfg three-char value", "<THQA=ON CFG=OFF FW=ON>", true, true, false, true},
      {"fw off", "<THQA=ON CFG=ON FW=OFF>", true, true, true, false},
      {"no cfg keyword", "<THQA=OFF FW=ON>", true, false, false, true},
      {"cfg right after <", "<CFG=ON FW=ON>", true, false, false, true},
      {"lowercase values", "<THQA=on CFG=on FW=on>", true, false, false, false},
      {"lowercase keywords", "<thqa=ON cfg=ON fw=ON>", true, false, false, false},
      {"only the first F counts", "<THQA=ON XFG=ON FW=ON>", true, true, false, false},
      {"separator not examined", "<THQA:ON CFG:ON FW:ON>", true, true, true, true},
      {"value ONX still on", "<THQA=ONX CFG=ONX FW=ONX>", true, true, true, true},
      {"bare <", "<", true, false, false, false},
      {"date line", "20261211", false, false, false, false},
      {"empty", "", false, false, false, false},
      {"value cut at NUL", std::string("<THQA=ON CFG=ON FW=O\0N>", 23), true, true, true, false},
      {"keyword cut at NUL", std::string("<THQA=ON CFG=ON F\0W=ON>", 23), true, true, true, false},
      {"thqa cut at NUL", std::string("<THQ\0A=ON", 9), true, false, false, false},
      // The NUL stands where the separator would be; the value sits behind it.
      {"thqa value behind NUL", std::string("<THQA\0ON CFG=ON FW=ON", 22), true, false, false, false},
      {"cfg value behind NUL", std::string("<THQA=ON CFG\0ON FW=ON", 22), true, true, false, false},
      {"fw keyword behind NUL", std::string("<THQA=ON CFG=ON\0FW=ON", 21), true, true, true, false},
  };
  for (const HeaderCase &C : kCases) {
    SCOPED_TRACE(C.Name);
    PackageFlags = PACKAGE_FLAGS{};
    std::string Line = C.Line + std::string(1, '\0');
    EXPECT_EQ(ParseHeaderLine(Line.data()) != FALSE, C.IsHeader);
    EXPECT_EQ(PackageFlags.ThqaOn != FALSE, C.Thqa);
    EXPECT_EQ(PackageFlags.CfgOn != FALSE, C.Cfg);
    EXPECT_EQ(PackageFlags.FwOn != FALSE, C.Fw);
  }
}

TEST(Scan, ParseHeaderLineNeverClearsASwitch) {
  PackageFlags = PACKAGE_FLAGS{TRUE, TRUE, TRUE};
  EXPECT_TRUE(ParseHeaderLine("<THQA=OFF CFG=OFF FW=OFF>"));
  EXPECT_TRUE(PackageFlags.ThqaOn && PackageFlags.CfgOn && PackageFlags.FwOn);
  PackageFlags = PACKAGE_FLAGS{};
}

// --- The generator and the embedded package ---

TEST(Package, GeneratorReproducesTheCheckedInPackage) {
  const std::string Output = std::string(TOUCH_BINARY_DIR) + "/make-package-check.txt";
  std::remove(Output.c_str());
  const std::string Command = std::string("\"") + TOUCH_BINARY_DIR + "/make-package\" \"" + Output + "\"";
  ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
  const std::string Generated = ReadFileText(Output);
  const std::string CheckedIn = ReadFileText(std::string(TOUCH_SOURCE_DIR) + "/package/TouchPackage.txt");
  std::remove(Output.c_str());
  ASSERT_EQ(Generated.size(), CheckedIn.size());
  EXPECT_TRUE(Generated == CheckedIn) << "package/TouchPackage.txt is stale: regenerate it";
}

bool IsHex(char C) { return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'F'); }

unsigned HexValue(const std::string &Digits) {
  unsigned Value = 0;
  for (char C : Digits) {
    EXPECT_TRUE(IsHex(C)) << "not a hex digit in \"" << Digits << "\"";
    Value = Value * 16 + (C <= '9' ? C - '0' : C - 'A' + 10);
  }
  return Value;
}

// Splits CR LF lines; every line must end with CR LF.
std::vector<std::string> CrLfLines(const std::string &Text) {
  std::vector<std::string> Lines;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find("\r\n", Start);
    EXPECT_NE(End, std::string::npos) << "text after the last line end";
    if (End == std::string::npos) break;
    Lines.push_back(Text.substr(Start, End - Start));
    Start = End + 2;
  }
  return Lines;
}

// One configuration line per instance of every object of the default model.
struct ConfigLine {
  unsigned Type, Instance, Size;
  bool operator==(const ConfigLine &O) const {
    return Type == O.Type && Instance == O.Instance && Size == O.Size;
  }
};

std::vector<ConfigLine> ExpectedConfigLines() {
  const struct {
    unsigned Type, Instances, Size;
  } kObjects[] = {
      {0x07, 1, 4},   {0x08, 1, 10}, {0x09, 2, 168}, {0x0F, 1, 11}, {0x12, 1, 2},
      {0x13, 1, 6},   {0x18, 1, 19}, {0x19, 1, 15},  {0x1B, 1, 7},  {0x28, 1, 5},
      {0x2A, 1, 13},  {0x2E, 1, 11}, {0x2F, 1, 22},  {0x38, 1, 36}, {0x3D, 12, 5},
      {0x3E, 1, 74},  {0x3F, 4, 9},  {0x41, 3, 20},  {0x42, 1, 4},  {0x44, 1, 73},
      {0x46, 10, 10}, {0x47, 1, 2},  {0x48, 1, 79},  {0x4C, 1, 2},  {0x4D, 1, 2},
      {0x4E, 1, 2},   {0x4F, 1, 3},
  };
  std::vector<ConfigLine> Lines;
  for (const auto &O : kObjects) {
    for (unsigned I = 0; I < O.Instances; ++I) Lines.push_back({O.Type, I, O.Size});
  }
  return Lines;
}

TEST(Package, EmbeddedPackageHasTheShippedShape) {
  const std::string Text(gEmbeddedPackage, gEmbeddedPackageLength);
  const std::string CheckedIn = ReadFileText(std::string(TOUCH_SOURCE_DIR) + "/package/TouchPackage.txt");
  if (Text != CheckedIn) {
    GTEST_SKIP() << "this build embeds another package file";
  }

  // The whole text: its length, the NUL behind it, uppercase, CR LF only.
  ASSERT_EQ(gEmbeddedPackageLength, 266069u);
  EXPECT_EQ(gEmbeddedPackage[gEmbeddedPackageLength], '\0');
  for (size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    ASSERT_TRUE(C == '\r' || C == '\n' || (C >= 0x20 && C < 0x7F)) << "character at " << I;
    ASSERT_FALSE(C >= 'a' && C <= 'z') << "lowercase at " << I;
    if (C == '\r') ASSERT_EQ(Text[I + 1], '\n') << "CR without LF at " << I;
    if (C == '\n') ASSERT_EQ(Text[I - 1], '\r') << "LF without CR at " << I;
  }

  // The head: six lines, 61 characters.
  const std::vector<std::string> kHead = {"<THQA=ON CFG=ON FW=ON>", "20261211", "00000000",
                                          "332", "EF6", "3FCF0"};
  size_t Cursor = 0;
  for (const std::string &Expected : kHead) {
    EXPECT_EQ(Text.substr(Cursor, Expected.size() + 2), Expected + "\r\n");
    Cursor += Expected.size() + 2;
  }
  ASSERT_EQ(Cursor, 61u);
  const unsigned ThqaLength = HexValue("332"), ConfigLength = HexValue("EF6"),
                 FirmwareLength = HexValue("3FCF0");
  ASSERT_EQ(ThqaLength, 818u);
  ASSERT_EQ(ConfigLength, 3830u);
  ASSERT_EQ(FirmwareLength, 261360u);
  ASSERT_EQ(61u + ThqaLength + ConfigLength + FirmwareLength, Text.size());

  // THQA section: the 5 blob header bytes, then 32 lines of 8 bytes.
  const std::vector<std::string> Thqa = CrLfLines(Text.substr(61, ThqaLength));
  ASSERT_EQ(Thqa.size(), 35u);
  EXPECT_EQ(Thqa[0], "84 04");
  EXPECT_EQ(Thqa[1], "03 01");
  EXPECT_EQ(Thqa[2], "05");
  std::set<std::string> BlobBytes;
  for (size_t L = 3; L < Thqa.size(); ++L) {
    const std::string &Line = Thqa[L];
    ASSERT_EQ(Line.size(), 23u) << "blob line " << L;
    for (size_t B = 0; B < 8; ++B) {
      BlobBytes.insert(Line.substr(3 * B, 2));
      HexValue(Line.substr(3 * B, 2));
      if (B < 7) EXPECT_EQ(Line[3 * B + 2], ' ');
    }
  }
  EXPECT_GT(BlobBytes.size(), 1u) << "the blob is a single repeated byte";

  // Configuration section: 53 lines of "TTTT IIII SSSS DD ...", 16 + 3 * size
  // characters each, in the object list's order.
  const std::string Config = Text.substr(61 + ThqaLength, ConfigLength);
  const std::vector<std::string> ConfigLines = CrLfLines(Config);
  ASSERT_EQ(ConfigLines.size(), 53u);
  std::vector<ConfigLine> Found;
  unsigned MinSize = ~0u, MaxSize = 0, MaxType = 0, MaxInstance = 0, DataBytes = 0;
  bool TransferObjectLine = false;
  for (const std::string &Line : ConfigLines) {
    SCOPED_TRACE(Line.substr(0, 14));
    ASSERT_GE(Line.size(), 14u);
    ConfigLine Parsed{HexValue(Line.substr(0, 4)), HexValue(Line.substr(5, 4)),
                      HexValue(Line.substr(10, 4))};
    EXPECT_EQ(Line[4], ' ');
    EXPECT_EQ(Line[9], ' ');
    ASSERT_EQ(Line.size() + 2, 16 + 3 * Parsed.Size);
    for (unsigned B = 0; B < Parsed.Size; ++B) {
      EXPECT_EQ(Line[14 + 3 * B], ' ');
      HexValue(Line.substr(15 + 3 * B, 2));
    }
    Found.push_back(Parsed);
    MinSize = std::min(MinSize, Parsed.Size);
    MaxSize = std::max(MaxSize, Parsed.Size);
    MaxType = std::max(MaxType, Parsed.Type);
    MaxInstance = std::max(MaxInstance, Parsed.Instance);
    DataBytes += Parsed.Size;
    if (Parsed.Type == 0x44 && Parsed.Size == 0x49) TransferObjectLine = true;
  }
  EXPECT_TRUE(Found == ExpectedConfigLines());
  EXPECT_EQ(MinSize, 2u);
  EXPECT_EQ(MaxSize, 168u);
  EXPECT_EQ(MaxType, 0x4Fu);
  EXPECT_EQ(MaxInstance, 11u);
  EXPECT_EQ(DataBytes, 994u);
  EXPECT_TRUE(TransferObjectLine);

  // Firmware section: continuous hex frames "SSSS" + data, up to the very end.
  const std::string Firmware = Text.substr(61 + ThqaLength + ConfigLength);
  ASSERT_EQ(Firmware.size(), FirmwareLength);
  for (char C : Firmware) ASSERT_TRUE(IsHex(C));
  std::map<unsigned, unsigned> SizeCounts;
  size_t Frames = 0, At = 0;
  bool NonZeroData = false;
  while (At + 4 <= Firmware.size()) {
    const unsigned Size = HexValue(Firmware.substr(At, 4));
    ASSERT_NE(Size, 0u) << "a size of 0 would end the section early, at " << At;
    ASSERT_LE(At + 4 + 2 * Size, Firmware.size()) << "frame " << Frames << " runs past the end";
    NonZeroData = NonZeroData || Firmware.find_first_not_of('0', At + 4) < At + 4 + 2 * Size;
    ++SizeCounts[Size];
    ++Frames;
    At += 4 + 2 * Size;
  }
  EXPECT_EQ(At, Firmware.size()) << "the firmware section does not end at the end of the text";
  EXPECT_EQ(Frames, 834u);
  const std::map<unsigned, unsigned> kSizes = {{18, 1},  {34, 411},  {100, 1}, {150, 1}, {170, 1},
                                                {190, 1}, {200, 1},  {226, 1}, {274, 416}};
  EXPECT_EQ(SizeCounts, kSizes);
  EXPECT_TRUE(NonZeroData);
}

}  // namespace
