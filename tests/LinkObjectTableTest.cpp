// The information block, the object table, the values derived from it and
// the version word.
#include <gtest/gtest.h>

#include <ostream>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "link/ControllerLink.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

sim::PlatformOptions WithObjects(std::initializer_list<touchsim::ObjectDefinition> Objects) {
  sim::PlatformOptions Options;
  testsupport::UseObjects(Options, Objects);
  Options.Controller.FirstObjectAddress = 0;
  return Options;
}

class ObjectTable : public testsupport::DiscoveredController {
 protected:
  // (address, read count) of every register request sent.
  std::vector<std::pair<uint16_t, uint8_t>> Reads() {
    std::vector<std::pair<uint16_t, uint8_t>> Out;
    for (const sim::TraceEvent &E : Platform->Events("I2cWrite")) {
      Out.push_back({testsupport::RequestAddress(E.Bytes), E.Bytes[7]});
    }
    return Out;
  }
};

TEST_F(ObjectTable, ReadsTheBlockThenEveryEntryAndKeepsThemAsTheControllerHasThem) {
  Start();
  touchsim::TouchController &Controller = Platform->Controller();

  ASSERT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);

  std::vector<std::pair<uint16_t, uint8_t>> Expected = {{0, 7}};
  for (uint32_t i = 0; i < Controller.ObjectCount(); ++i) {
    Expected.push_back({static_cast<uint16_t>(7 + 6 * i), 6});
  }
  EXPECT_EQ(Reads(), Expected);
  EXPECT_TRUE(Platform->PausesMs().empty());

  EXPECT_EQ(0, std::memcmp(ControllerState.InfoBlock, Controller.Registers(), 7));
  ASSERT_EQ(ControllerState.ObjectCount, Controller.ObjectCount());
  for (uint32_t i = 0; i < Controller.ObjectCount(); ++i) {
    SCOPED_TRACE(i);
    const OBJECT_ENTRY &Entry = ControllerState.ObjectTable[i];
    const touchsim::ObjectDefinition &Object = Controller.Object(i);
    EXPECT_EQ(Entry.Type, Object.Type);
    EXPECT_EQ(ObjectStartAddress(&Entry), Controller.ObjectAddress(i));
    EXPECT_EQ(ObjectSize(&Entry), Object.Size);
    EXPECT_EQ(Entry.InstancesMinusOne + 1u, Object.Instances);
    EXPECT_EQ(Entry.ReportIdsPerInstance, Object.ReportIdsPerInstance);
    if (Object.Type == OBJECT_TYPE_COMMAND) {
      EXPECT_EQ(ControllerState.CommandObjectAddress, Controller.ObjectAddress(i));
    }
  }

  // Cached: no traffic, whatever the controller holds now.
  Platform->ClearTrace();
  EXPECT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);
  EXPECT_TRUE(Platform->Trace().empty());
}

struct ReportIdCase {
  const char *Name;
  std::vector<touchsim::ObjectDefinition> Objects;
  uint8_t CommandReportId;
  uint8_t DataTransferReportId;
};
void PrintTo(const ReportIdCase &Case, std::ostream *Out) { *Out << Case.Name; }

class ReportIds : public ObjectTable, public ::testing::WithParamInterface<ReportIdCase> {};

TEST_P(ReportIds, CountInTableOrderWithAnEightBitCounter) {
  const ReportIdCase &Case = GetParam();
  sim::PlatformOptions Options = WithObjects({});
  for (const touchsim::ObjectDefinition &Object : Case.Objects) {
    Options.Controller.Objects[Options.Controller.ObjectCount++] = Object;
  }
  Start(Options);
  // Values an earlier table left: an object without report IDs keeps them.
  ControllerState.CommandReportId = 0xAA;
  ControllerState.DataTransferReportId = 0xBB;

  ASSERT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);

  EXPECT_EQ(ControllerState.CommandReportId, Case.CommandReportId);
  EXPECT_EQ(ControllerState.DataTransferReportId, Case.DataTransferReportId);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ReportIds,
    ::testing::Values(
        ReportIdCase{"Example",
                     {{5, 16, 1, 1}, {6, 6, 1, 1}, {7, 4, 1, 0}, {9, 10, 2, 10}, {68, 73, 1, 1}},
                     2, 23},
        ReportIdCase{"CounterWraps",
                     {{6, 6, 1, 1}, {9, 10, 200, 1}, {10, 4, 100, 1}, {68, 73, 1, 1}}, 1, 46},
        ReportIdCase{"TwoHundredFiftySixInstancesLeaveTheCounter",
                     {{6, 6, 1, 1}, {9, 1, 256, 1}, {68, 73, 1, 1}}, 1, 2},
        ReportIdCase{"CommandObjectWithoutReportIds", {{6, 6, 1, 0}, {68, 73, 1, 2}}, 0xAA, 2},
        ReportIdCase{"LastEntryOfATypeStands", {{6, 6, 1, 1}, {68, 73, 1, 1}, {6, 6, 1, 1}}, 3,
                     2}),
    [](const ::testing::TestParamInfo<ReportIdCase> &Info) { return Info.param.Name; });

TEST_F(ObjectTable, FindObjectReturnsTheFirstEntryWhileTheCommandAddressComesFromTheLast) {
  Start(WithObjects({{6, 6, 1, 1}, {38, 2, 1, 0}, {6, 8, 1, 1}}));
  touchsim::TouchController &Controller = Platform->Controller();

  ASSERT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);

  UINT8 Index = 0xFF;
  EXPECT_TRUE(FindObject(OBJECT_TYPE_COMMAND, &Index));
  EXPECT_EQ(Index, 0);
  EXPECT_TRUE(FindObject(OBJECT_TYPE_VERSION, &Index));
  EXPECT_EQ(Index, 1);
  EXPECT_EQ(ControllerState.CommandObjectAddress, Controller.ObjectAddress(2));
  Index = 0x77;
  EXPECT_FALSE(FindObject(OBJECT_TYPE_DATA_TRANSFER, &Index));
  EXPECT_EQ(Index, 0x77);
}

TEST_F(ObjectTable, EmptyTableReadsNoEntryAndKeepsTheDerivedValues) {
  Start(WithObjects({}));
  ControllerState.CommandObjectAddress = 0x1234;
  ControllerState.CommandReportId = 0x11;
  ControllerState.DataTransferReportId = 0x22;

  ASSERT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);

  EXPECT_EQ(Reads(), (std::vector<std::pair<uint16_t, uint8_t>>{{0, 7}}));
  EXPECT_EQ(ControllerState.ObjectCount, 0u);
  UINT8 Index = 0;
  for (UINT8 Type : {UINT8(OBJECT_TYPE_MESSAGE), UINT8(OBJECT_TYPE_COMMAND), UINT8(0)}) {
    EXPECT_FALSE(FindObject(Type, &Index));
  }
  EXPECT_EQ(ControllerState.CommandObjectAddress, 0x1234);
  EXPECT_EQ(ControllerState.CommandReportId, 0x11);
  EXPECT_EQ(ControllerState.DataTransferReportId, 0x22);
}

TEST_F(ObjectTable, UnreadableBlockLeavesTheCacheClearForTheNextCall) {
  sim::PlatformOptions Options;
  Options.TransferFaults.push_back({"I2cRead", APPLICATION_SLAVE_ADDRESS, 1, EFI_DEVICE_ERROR});
  Start(Options);
  UINT32 Word = 0xDEADBEEF;

  EXPECT_EQ(ReadVersionWord(I2c(), &Word), GENERIC_FAILURE);
  EXPECT_EQ(Word, 0xDEADBEEFu);
  EXPECT_EQ(Platform->PausesMs(), std::vector<uint32_t>{1});  // the register read's own
  EXPECT_EQ(Reads().size(), 1u);

  Platform->ClearTrace();
  EXPECT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);
  EXPECT_EQ(Reads().size(), 1u + Platform->Controller().ObjectCount());
}

TEST_F(ObjectTable, UnreadableEntryIsKeptAsItWasAndTheTableStillCounts) {
  sim::PlatformOptions Options = WithObjects({{5, 16, 1, 1}, {6, 6, 1, 1}, {68, 73, 1, 1}});
  // The second entry's reply is lost: the command entry stays zero.
  Options.TransferFaults.push_back({"I2cRead", APPLICATION_SLAVE_ADDRESS, 3, EFI_DEVICE_ERROR});
  Start(Options);

  EXPECT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);

  EXPECT_EQ(ControllerState.ObjectTable[1].Type, 0);
  UINT8 Index = 0;
  EXPECT_FALSE(FindObject(OBJECT_TYPE_COMMAND, &Index));
  EXPECT_EQ(ControllerState.DataTransferReportId, 2);
  Platform->ClearTrace();
  EXPECT_EQ(ReadObjectTable(I2c()), EFI_SUCCESS);
  EXPECT_TRUE(Platform->Trace().empty());
}

// The controller model holds fewer objects than one count byte can announce,
// so this instance stands between the link and the simulated controller: it
// forwards every transfer and rewrites two replies, the information block's
// count (to 255) and the last entry (to a data transfer object). The entries
// in between lie in unmapped registers and read as zeros.
namespace full_table {

PLATFORM_I2C_ACCESS_PROTOCOL *gInner = nullptr;
uint16_t gLastAddress = 0;
const uint16_t kLastEntryAddress = 7 + 6 * 254;

EFI_STATUS EFIAPI Write(UINTN A1, UINTN Slave, UINTN A3, UINTN A4, VOID *Buffer, UINTN Length) {
  const uint8_t *Bytes = static_cast<const uint8_t *>(Buffer);
  if (Length >= 10) gLastAddress = static_cast<uint16_t>(Bytes[8] | (Bytes[9] << 8));
  return gInner->Write(A1, Slave, A3, A4, Buffer, Length);
}

EFI_STATUS EFIAPI Read(UINTN A1, UINTN Slave, UINTN A3, UINTN A4, VOID *Buffer, UINTN Length) {
  EFI_STATUS Status = gInner->Read(A1, Slave, A3, A4, Buffer, Length);
  uint8_t *Reply = static_cast<uint8_t *>(Buffer);
  if (!EFI_ERROR(Status) && Length == 20) {
    if (gLastAddress == 0) Reply[5 + 6] = 255;
    if (gLastAddress == kLastEntryAddress) {
      const uint8_t Entry[6] = {OBJECT_TYPE_DATA_TRANSFER, 0x34, 0x12, 72, 0, 1};
      std::memcpy(Reply + 5, Entry, sizeof Entry);
    }
  }
  return Status;
}

}  // namespace full_table

TEST_F(ObjectTable, CountOf255ReadsEveryEntryIntoTheTable) {
  sim::PlatformOptions Options = WithObjects({{6, 6, 1, 1}});
  Options.Controller.FirstObjectAddress = 0x1000;  // behind 255 entries
  Start(Options);
  PLATFORM_I2C_ACCESS_PROTOCOL Forwarding{};
  Forwarding.Read = full_table::Read;
  Forwarding.Write = full_table::Write;
  full_table::gInner = I2c();

  ASSERT_EQ(ReadObjectTable(&Forwarding), EFI_SUCCESS);

  std::vector<std::pair<uint16_t, uint8_t>> Expected = {{0, 7}};
  for (uint32_t i = 0; i < 255; ++i) Expected.push_back({static_cast<uint16_t>(7 + 6 * i), 6});
  EXPECT_EQ(Reads(), Expected);
  EXPECT_EQ(ControllerState.ObjectCount, 255u);
  UINT8 Index = 0;
  ASSERT_TRUE(FindObject(OBJECT_TYPE_DATA_TRANSFER, &Index));
  EXPECT_EQ(Index, 254);
  EXPECT_EQ(ObjectStartAddress(&ControllerState.ObjectTable[254]), 0x1234);
  EXPECT_EQ(ControllerState.DataTransferReportId, 2);
  // The fields behind the table are intact.
  EXPECT_EQ(ControllerState.CommandObjectAddress, 0x1000);
  EXPECT_EQ(ControllerState.CommandReportId, 1);
}

struct VersionCase {
  const char *Name;
  sim::PlatformOptions Options;
  bool Fails;
  bool VersionObjectRead;
  bool LowHalfKnown;
  std::vector<uint32_t> PausesMs;
};
void PrintTo(const VersionCase &Case, std::ostream *Out) { *Out << Case.Name; }

sim::PlatformOptions VersionReadFails() {
  sim::PlatformOptions Options;
  // The block, every entry, then the version object.
  uint32_t VersionRead = 1 + Options.Controller.ObjectCount + 1;
  Options.TransferFaults.push_back(
      {"I2cRead", APPLICATION_SLAVE_ADDRESS, VersionRead, EFI_DEVICE_ERROR});
  return Options;
}

class VersionWord : public ObjectTable, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionWord, ComposesBlockBytesAndVersionObjectBytes) {
  const VersionCase &Case = GetParam();
  Start(Case.Options);
  const touchsim::ControllerConfig &Config = Case.Options.Controller;
  UINT32 Word = 0xDEADBEEF;

  EFI_STATUS Status = ReadVersionWord(I2c(), &Word);

  uint32_t High = (uint32_t(Config.InfoBlock[2]) << 24) | (uint32_t(Config.InfoBlock[3]) << 16);
  uint32_t Low = (uint32_t(Config.VersionBytes[0]) << 8) | Config.VersionBytes[1];
  EXPECT_EQ(Word, Case.LowHalfKnown ? (High | Low) : High);
  if (Case.Fails) {
    EXPECT_EQ(Status, GENERIC_FAILURE);
  } else {
    EXPECT_EQ(Status, EFI_SUCCESS);
  }
  EXPECT_EQ(Platform->PausesMs(), Case.PausesMs);
  std::vector<std::pair<uint16_t, uint8_t>> Sent = Reads();
  ASSERT_EQ(Sent.size(), 1 + Config.ObjectCount + (Case.VersionObjectRead ? 1 : 0));
  if (Case.VersionObjectRead) {
    UINT8 Index = 0;
    ASSERT_TRUE(FindObject(OBJECT_TYPE_VERSION, &Index));
    EXPECT_EQ(Sent.back(),
              std::make_pair(ObjectStartAddress(&ControllerState.ObjectTable[Index]), uint8_t(2)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Controllers, VersionWord,
    ::testing::Values(VersionCase{"Default", sim::PlatformOptions(), false, true, true, {1}},
                      // The register read's own pause, then one for the
                      // failure and one at the end.
                      VersionCase{"VersionObjectUnreadable", VersionReadFails(), true, true,
                                  false, {1, 1, 1}},
                      // Without a version object the low half is unknown: a
                      // failure keeps the guess out of the status record.
                      VersionCase{"NoVersionObject",
                                  WithObjects({{5, 16, 1, 1}, {6, 6, 1, 1}}), true, false,
                                  false, {1, 1}}),
    [](const ::testing::TestParamInfo<VersionCase> &Info) { return Info.param.Name; });

}  // namespace
