// The configuration update: clearing every object, writing each configuration
// line into the instance it names, and the whole update with its exits,
// judged by the register requests, the pauses and what the controller holds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "link/ControllerLink.h"
#include "operations/Operations.h"
#include "package/Package.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::EmbeddedParts;
using testsupport::FailRead;
using testsupport::Hex;
using testsupport::PackageLine;
using testsupport::ParseLines;
using testsupport::Pauses;
using testsupport::RequestAddress;
using testsupport::UseObjects;

// --- Building sections -----------------------------------------------------

// One configuration line: type, instance, size, the data bytes, CR LF.
std::string Line(uint32_t Type, uint32_t Instance, const Bytes &Data) {
  std::string Out = Hex(Type, 4) + " " + Hex(Instance, 4) + " " + Hex(Data.size(), 4);
  for (uint8_t B : Data) Out += " " + Hex(B, 2);
  return Out + "\r\n";
}

Bytes Ramp(uint8_t First, size_t Count) {
  Bytes Out(Count);
  for (size_t i = 0; i < Count; ++i) Out[i] = static_cast<uint8_t>(First + i);
  return Out;
}

// --- The package's own configuration section -------------------------------

bool AllZero(const PackageLine &L) {
  for (uint8_t B : L.Data) {
    if (B != 0) return false;
  }
  return true;
}

size_t NonZeroLines(const std::vector<PackageLine> &Lines) {
  size_t Count = 0;
  for (const PackageLine &L : Lines) Count += AllZero(L) ? 0 : 1;
  return Count;
}

constexpr size_t kEveryLine = static_cast<size_t>(-1);

// --- The bench -------------------------------------------------------------

// Register requests a write of this many bytes takes.
uint32_t WriteRequests(uint32_t Count) { return (Count + 11) / 12; }

struct Bench {
  explicit Bench(const sim::PlatformOptions &O) : P(O) {
    P.Attach();
    I2c = P.I2cProtocolInstance();
    PowerOn.assign(P.Controller().Registers(), P.Controller().Registers() + 0x10000);
  }
  // Discovery and the table read done, the trace cleared: for the operations
  // that rely on a table read before them.
  void TableRead() {
    ASSERT_EQ(FindHidDevice(), EFI_SUCCESS);
    ASSERT_EQ(ReadObjectTable(I2c), EFI_SUCCESS);
    P.ClearTrace();
  }
  uint16_t ObjectAddress(uint32_t Index) { return P.Controller().ObjectAddress(Index); }
  const touchsim::ObjectDefinition &Object(uint32_t Index) { return P.Controller().Object(Index); }
  uint32_t FirstOfType(uint32_t Type) { return P.Controller().FindObjectIndex(static_cast<uint8_t>(Type)); }

  // Register writes on the bus as (address, data bytes) pairs.
  std::vector<std::pair<uint16_t, uint8_t>> Writes() {
    std::vector<std::pair<uint16_t, uint8_t>> Out;
    for (const auto &E : P.Events("I2cWrite")) {
      if (E.Bytes.size() == 22 && E.Bytes[6] > 2) {
        Out.push_back({RequestAddress(E.Bytes), static_cast<uint8_t>(E.Bytes[6] - 2)});
      }
    }
    return Out;
  }
  // The first address where the live registers differ from Expected, or -1.
  long FirstDifference(const Bytes &Expected) {
    const uint8_t *Live = P.Controller().Registers();
    for (size_t i = 0; i < Expected.size(); ++i) {
      if (Live[i] != Expected[i]) return static_cast<long>(i);
    }
    return -1;
  }
  // Package lines whose instance on the controller holds exactly their data.
  // An all-zero line cannot be told from a cleared object, so it is left out.
  size_t LinesHeld(const std::vector<PackageLine> &Lines, const uint8_t *Registers) {
    size_t Held = 0;
    for (const PackageLine &L : Lines) {
      if (AllZero(L)) continue;
      uint32_t Index = FirstOfType(L.Type);
      uint16_t At = static_cast<uint16_t>(ObjectAddress(Index) + Object(Index).Size * L.Instance);
      if (std::memcmp(Registers + At, L.Data.data(), L.Data.size()) == 0) ++Held;
    }
    return Held;
  }
  std::vector<uint8_t> CommandValues() {
    std::vector<uint8_t> Out;
    auto &C = P.Controller();
    for (uint32_t i = 0; i < C.CommandCount(); ++i) {
      if (C.Command(i).Value != 0) Out.push_back(C.Command(i).Value);
    }
    return Out;
  }
  sim::Platform P;
  PLATFORM_I2C_ACCESS_PROTOCOL *I2c;
  Bytes PowerOn;
};

// --- ClearObjects ----------------------------------------------------------

TEST(ClearObjectsTest, ZeroesTheFirstInstanceOfEveryObjectInTableOrder) {
  sim::PlatformOptions O;
  Bench B(O);
  B.TableRead();

  EXPECT_EQ(ClearObjects(B.I2c), EFI_SUCCESS);

  std::vector<std::pair<uint16_t, uint8_t>> Expected;
  Bytes After = B.PowerOn;
  auto &C = B.P.Controller();
  for (uint32_t i = 0; i < C.ObjectCount(); ++i) {
    uint32_t Size = B.Object(i).Size;
    for (uint32_t Done = 0; Done < Size; Done += 12) {
      Expected.push_back({static_cast<uint16_t>(B.ObjectAddress(i) + Done),
                          static_cast<uint8_t>(Size - Done < 12 ? Size - Done : 12)});
    }
    uint8_t Type = B.Object(i).Type;
    if (Type == 5 || Type == 38) continue;  // read-only on the controller
    std::memset(After.data() + B.ObjectAddress(i), 0, Size);
  }
  EXPECT_EQ(B.Writes(), Expected) << "one whole first instance per object, nothing more";
  EXPECT_EQ(B.FirstDifference(After), -1) << "later instances keep their bytes";
  EXPECT_TRUE(B.P.PausesMs().empty());
}

TEST(ClearObjectsTest, StopsAtTheFirstFailedWrite) {
  sim::PlatformOptions O;
  // The replies before it: the table read, then one each for objects 0 to 2.
  FailRead(O, 1 + O.Controller.ObjectCount + 4, EFI_DEVICE_ERROR);
  Bench B(O);
  B.TableRead();

  EXPECT_EQ(ClearObjects(B.I2c), EFI_DEVICE_ERROR);
  auto Writes = B.Writes();
  ASSERT_EQ(Writes.size(), 4u);
  EXPECT_EQ(Writes.back().first, B.ObjectAddress(3));
  EXPECT_EQ(std::memcmp(B.P.Controller().Registers() + B.ObjectAddress(4),
                        B.PowerOn.data() + B.ObjectAddress(4), B.Object(4).Size),
            0)
      << "objects after the failure are not cleared";
}

// --- WriteConfigObjects ----------------------------------------------------

// Objects: message, command, four instances of 10 bytes (0x10), two entries
// of type 0x11 (4 bytes each) and a 3-byte object behind them.
constexpr uint32_t kTen = 2, kFirst11 = 3, kSecond11 = 4;

void SmallTable(sim::PlatformOptions &O) {
  UseObjects(O, {{5, 10, 1, 0},
                 {6, 6, 1, 1},
                 {0x10, 10, 4, 0},
                 {0x11, 4, 1, 0},
                 {0x11, 4, 1, 0},
                 {0x12, 3, 1, 0}});
}

struct Patch {
  uint32_t Object;
  uint32_t Offset;
  Bytes Data;
};

struct LinesCase {
  const char *Name;
  std::string Section;
  size_t CutBy;               // the section length stops this many characters short
  EFI_STATUS Expected;
  std::vector<Patch> Patches; // what the controller holds afterwards
};
void PrintTo(const LinesCase &C, std::ostream *Out) { *Out << C.Name; }

Bytes Zeros(size_t Count) { return Bytes(Count, 0); }
Bytes Concat(Bytes A, const Bytes &B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

const LinesCase kLinesCases[] = {
    {"Instance0AtTheStartAddress", Line(0x10, 0, Ramp(1, 10)), 0, EFI_SUCCESS,
     {{kTen, 0, Ramp(1, 10)}}},
    {"Instance3Of10ByteObjectIs30BytesOn", Line(0x10, 3, Ramp(0x31, 10)), 0, EFI_SUCCESS,
     {{kTen, 30, Ramp(0x31, 10)}}},
    {"MoreDataThanTheObject_OnlyTheObjectSize", Line(0x11, 0, Ramp(0xA1, 6)), 0, EFI_SUCCESS,
     {{kFirst11, 0, Ramp(0xA1, 4)}}},
    {"FewerDataThanTheObject_ZerosNotTheEarlierLine",
     Line(0x10, 0, Bytes(10, 0xEE)) + Line(0x10, 1, Ramp(1, 3)), 0, EFI_SUCCESS,
     {{kTen, 0, Bytes(10, 0xEE)}, {kTen, 10, Concat(Ramp(1, 3), Zeros(7))}}},
    {"SizeZero_TheWholeInstanceZeroed", Line(0x10, 0, Bytes(10, 0xEE)) + Line(0x10, 2, {}), 0,
     EFI_SUCCESS, {{kTen, 0, Bytes(10, 0xEE)}, {kTen, 20, Zeros(10)}}},
    {"TwoEntriesShareAType_EveryLineToTheFirst",
     Line(0x11, 0, Ramp(1, 4)) + Line(0x11, 0, Ramp(0x51, 4)), 0, EFI_SUCCESS,
     {{kFirst11, 0, Ramp(0x51, 4)}}},
    {"Exactly256DataBytes_Taken", Line(0x10, 1, Ramp(0, 256)), 0, EFI_SUCCESS,
     {{kTen, 10, Ramp(0, 10)}}},
    {"TrailingFragmentOf8Characters_Ignored", Line(0x10, 0, Ramp(1, 10)) + "0011 000", 0,
     EFI_SUCCESS, {{kTen, 0, Ramp(1, 10)}}},
    // Refused: the whole section is checked first, so not even the good
    // lines ahead of the bad one are written.
    {"TypeAbove255_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x111, 0, Ramp(1, 4)), 0,
     GENERIC_FAILURE, {}},
    {"TypeNotInTheTable_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x20, 0, Ramp(1, 4)), 0,
     GENERIC_FAILURE, {}},
    {"InstanceNotBelowTheCount_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x10, 4, Ramp(1, 10)),
     0, GENERIC_FAILURE, {}},
    {"MoreThan256DataBytes_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x10, 1, Ramp(0, 257)), 0,
     GENERIC_FAILURE, {}},
    // The text goes on past the section's end as a valid line would; none
    // of it may be taken.
    {"LastLineCutInItsData_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x10, 1, Ramp(1, 10)), 4,
     GENERIC_FAILURE, {}},
    {"LastLineCutInItsHead_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x10, 1, Ramp(1, 10)),
     46 - 12, GENERIC_FAILURE, {}},
    {"LineEndCutOff_Refused", Line(0x10, 0, Ramp(1, 10)) + Line(0x12, 0, Ramp(1, 3)), 1,
     GENERIC_FAILURE, {}},
};

class WriteConfigObjectsTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(WriteConfigObjectsTest, WhatTheControllerHolds) {
  const LinesCase &C = GetParam();
  sim::PlatformOptions O;
  SmallTable(O);
  Bench B(O);
  B.TableRead();

  EXPECT_EQ(WriteConfigObjects(B.I2c, C.Section.c_str(),
                               static_cast<UINT32>(C.Section.size() - C.CutBy)),
            C.Expected);

  Bytes Expected = B.PowerOn;
  for (const Patch &Pt : C.Patches) {
    std::memcpy(Expected.data() + B.ObjectAddress(Pt.Object) + Pt.Offset, Pt.Data.data(),
                Pt.Data.size());
  }
  EXPECT_EQ(B.FirstDifference(Expected), -1);
  if (EFI_ERROR(C.Expected)) EXPECT_TRUE(B.Writes().empty());
  EXPECT_TRUE(B.P.PausesMs().empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, WriteConfigObjectsTest, ::testing::ValuesIn(kLinesCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// Fewer than nine characters hold no line: nothing is written, and what the
// characters say does not matter.
TEST(WriteConfigObjectsShortSectionTest, OneToEightCharactersWriteNothing) {
  const std::string Text = Line(0x10, 0, Ramp(1, 1));
  for (size_t Length = 0; Length <= 8; ++Length) {
    SCOPED_TRACE(Length);
    sim::PlatformOptions O;
    SmallTable(O);
    Bench B(O);
    B.TableRead();
    EXPECT_EQ(WriteConfigObjects(B.I2c, Text.c_str(), static_cast<UINT32>(Length)), EFI_SUCCESS);
    EXPECT_TRUE(B.Writes().empty());
  }
}

// --- UpdateConfiguration ---------------------------------------------------

std::vector<uint32_t> CommitPauses(uint32_t EmptyReads) { return Pauses({2000}, EmptyReads, {1000}); }

std::vector<uint32_t> Join(std::vector<std::vector<uint32_t>> Parts) {
  std::vector<uint32_t> Out;
  for (auto &Part : Parts) Out.insert(Out.end(), Part.begin(), Part.end());
  return Out;
}

const std::vector<uint32_t> kBeforeCommit = {100, 1, 1, 1, 100};

// Replies read before the clearing starts: the table read and the 0x33 write.
uint32_t RepliesBeforeClearing(const sim::PlatformOptions &O) {
  return 1 + O.Controller.ObjectCount + 1;
}

uint32_t ClearingReplies(const sim::PlatformOptions &O) {
  uint32_t Sum = 0;
  for (uint32_t i = 0; i < O.Controller.ObjectCount; ++i) Sum += WriteRequests(O.Controller.Objects[i].Size);
  return Sum;
}

uint32_t LineReplies(const sim::PlatformOptions &O, const std::vector<PackageLine> &Lines,
                     size_t Count) {
  uint32_t Sum = 0;
  for (size_t l = 0; l < Count; ++l) {
    for (uint32_t i = 0; i < O.Controller.ObjectCount; ++i) {
      if (O.Controller.Objects[i].Type == Lines[l].Type) {
        Sum += WriteRequests(O.Controller.Objects[i].Size);
        break;
      }
    }
  }
  return Sum;
}

struct UpdateCase {
  const char *Name;
  std::function<void(sim::PlatformOptions &, const std::vector<PackageLine> &)> Setup;
  std::string Extra;            // appended to the package's section
  EFI_STATUS Expected;
  std::vector<uint32_t> Pauses;
  std::vector<uint8_t> Commands;  // non-zero command values received
  size_t LinesHeld;             // package lines the live registers hold (kEveryLine: all)
  bool Stored;                  // the controller stored a configuration
};
void PrintTo(const UpdateCase &C, std::ostream *Out) { *Out << C.Name; }

const UpdateCase kUpdateCases[] = {
    {"Success", [](auto &, auto &) {}, "", EFI_SUCCESS,
     Join({kBeforeCommit, CommitPauses(0), {1, 1000}}), {0x33, 0x55}, kEveryLine, true},
    {"DiscoveryFails",
     [](auto &O, auto &) { O.SmbusHandles[0].ExecuteStatus = EFI_DEVICE_ERROR; }, "",
     EFI_DEVICE_ERROR, {1}, {}, 0, false},
    {"TableReadFails", [](auto &O, auto &) { FailRead(O, 1); }, "", GENERIC_FAILURE, {1, 1}, {},
     0, false},
    {"SectionNamesATypeTheTableLacks_ControllerUntouched", [](auto &, auto &) {},
     Line(0x99, 0, Ramp(1, 4)), GENERIC_FAILURE, {1}, {}, 0, false},
    {"PrepareWriteFails_TheUpdateGoesOn",
     [](auto &O, auto &) { FailRead(O, RepliesBeforeClearing(O)); }, "", EFI_SUCCESS,
     Join({{1}, kBeforeCommit, CommitPauses(0), {1, 1000}}), {0x33, 0x55}, kEveryLine, true},
    {"ClearingWriteFails",
     [](auto &O, auto &) { FailRead(O, RepliesBeforeClearing(O) + 1); }, "", EFI_DEVICE_ERROR,
     {100}, {0x33}, 0, false},
    // The failing request reached the controller; only its reply was lost.
    {"ThirdLineWriteFails_TheFirstTwoHeld",
     [](auto &O, auto &Lines) {
       FailRead(O, RepliesBeforeClearing(O) + ClearingReplies(O) + LineReplies(O, Lines, 2) + 1);
     },
     "", EFI_DEVICE_ERROR, {100, 1, 1}, {0x33}, 2, false},
    {"CommitTableReadFails",
     [](auto &O, auto &Lines) {
       FailRead(O, RepliesBeforeClearing(O) + ClearingReplies(O) +
                        LineReplies(O, Lines, Lines.size()) + 1);
     },
     "", GENERIC_FAILURE, Join({kBeforeCommit, {1, 1, 1}}), {0x33}, kEveryLine, false},
    {"CommitNeverAnswered",
     [](auto &O, auto &) { O.DeviceFaults.CommitNeverAnswers = true; }, "", GENERIC_FAILURE,
     Join({kBeforeCommit, CommitPauses(500), {1}}), {0x33, 0x55}, kEveryLine, true},
};

class UpdateConfigurationTest : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(UpdateConfigurationTest, ExitsPausesAndWhatTheControllerHolds) {
  const UpdateCase &C = GetParam();
  const std::string Section = EmbeddedParts().Config + C.Extra;
  const std::vector<PackageLine> Lines = ParseLines(EmbeddedParts().Config);
  ASSERT_EQ(Lines.size(), 53u);
  sim::PlatformOptions O;
  C.Setup(O, Lines);
  Bench B(O);

  EXPECT_EQ(UpdateConfiguration(B.I2c, Section.c_str(), static_cast<UINT32>(Section.size())),
            C.Expected);

  EXPECT_EQ(B.P.PausesMs(), C.Pauses);
  EXPECT_EQ(B.CommandValues(), C.Commands);
  size_t Every = NonZeroLines(Lines);
  EXPECT_EQ(B.LinesHeld(Lines, B.P.Controller().Registers()),
            C.LinesHeld == kEveryLine ? Every : C.LinesHeld);
  EXPECT_EQ(B.P.Controller().CommitCount(), C.Stored ? 1u : 0u);
  if (C.Stored) {
    EXPECT_EQ(B.LinesHeld(Lines, B.P.Controller().StoredRegisters()), Every);
  }
  if (C.Commands.empty()) {
    EXPECT_TRUE(B.Writes().empty()) << "nothing but reads reached the controller";
  }
}

INSTANTIATE_TEST_SUITE_P(Exits, UpdateConfigurationTest, ::testing::ValuesIn(kUpdateCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// The update reads the table afresh, even over a cached one, and again before
// the commit.
TEST(UpdateConfigurationTableTest, ReadsTheTableAtTheStartAndBeforeTheCommit) {
  sim::PlatformOptions O;
  Bench B(O);
  B.TableRead();
  const std::string Section = EmbeddedParts().Config;
  ASSERT_EQ(UpdateConfiguration(B.I2c, Section.c_str(), static_cast<UINT32>(Section.size())),
            EFI_SUCCESS);
  size_t InfoBlockReads = 0;
  for (const auto &E : B.P.Events("I2cWrite")) {
    if (E.Bytes.size() == 22 && E.Bytes[6] == 2 && E.Bytes[7] == 7 && E.Bytes[8] == 0 &&
        E.Bytes[9] == 0) {
      ++InfoBlockReads;
    }
  }
  EXPECT_EQ(InfoBlockReads, 2u);
}

// A section too short to hold a line still clears every object and commits.
TEST(UpdateConfigurationShortSectionTest, ClearsAndCommitsWithoutLines) {
  for (size_t Length : {1u, 8u}) {
    SCOPED_TRACE(Length);
    sim::PlatformOptions O;
    Bench B(O);
    const std::string Text = "00070000";
    EXPECT_EQ(UpdateConfiguration(B.I2c, Text.c_str(), static_cast<UINT32>(Length)), EFI_SUCCESS);
    EXPECT_EQ(B.CommandValues(), (std::vector<uint8_t>{0x33, 0x55}));
    EXPECT_EQ(B.P.Controller().CommitCount(), 1u);
    auto &C = B.P.Controller();
    for (uint32_t i = 0; i < C.ObjectCount(); ++i) {
      if (B.Object(i).Type == 5 || B.Object(i).Type == 38) continue;
      const uint8_t *Stored = C.StoredRegisters() + B.ObjectAddress(i);
      EXPECT_EQ(Bytes(Stored, Stored + B.Object(i).Size), Zeros(B.Object(i).Size))
          << "object type " << int(B.Object(i).Type);
    }
  }
}

// An empty table clears nothing; a section with a line then has nowhere to go.
TEST(UpdateConfigurationEmptyTableTest, ClearsNothingAndRefusesTheFirstLine) {
  sim::PlatformOptions O;
  UseObjects(O, {});
  const std::string Section = Line(0x07, 0, Ramp(1, 4));
  {
    Bench B(O);
    B.TableRead();
    EXPECT_EQ(ClearObjects(B.I2c), EFI_SUCCESS);
    EXPECT_TRUE(B.P.Events("I2cWrite").empty());
    EXPECT_EQ(WriteConfigObjects(B.I2c, Section.c_str(), static_cast<UINT32>(Section.size())),
              GENERIC_FAILURE);
    EXPECT_TRUE(B.P.Events("I2cWrite").empty());
  }
  {
    Bench B(O);
    EXPECT_EQ(UpdateConfiguration(B.I2c, Section.c_str(), static_cast<UINT32>(Section.size())),
              GENERIC_FAILURE);
    EXPECT_EQ(B.P.PausesMs(), (std::vector<uint32_t>{1}));
    EXPECT_TRUE(B.Writes().empty());
  }
}

}  // namespace
