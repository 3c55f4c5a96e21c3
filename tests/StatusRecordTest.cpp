// The firmware status record in BX_ESRT: opening (load or create), the
// attempt mark before a flash and the closing store, judged by what the
// variable store holds, every store made, the pauses and the pool left over.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver/Driver.h"
#include "package/Package.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::CreatedRecord;
using testsupport::Get32;
using testsupport::Put32;

constexpr uint32_t kPackageVersion = 0x0A0B0C0D;
constexpr uint32_t kVersionWord = 0x14020305;

// A stored variable whose every byte is distinct, so a field written by
// mistake shows.
Bytes Pattern(size_t Size) {
  Bytes B(Size);
  for (size_t i = 0; i < Size; ++i) B[i] = static_cast<uint8_t>(0x40 + 3 * i);
  return B;
}

Bytes WithAttempt(Bytes B) {
  Put32(B, 36, 1);
  Put32(B, 32, kPackageVersion);
  return B;
}

Bytes WithClose(Bytes B) {
  Put32(B, 36, 0);
  Put32(B, 20, kVersionWord);
  return B;
}

sim::VariableSeed Seed(std::optional<Bytes> Data) {
  sim::VariableSeed S;
  if (Data) {
    S.Present = true;
    S.Data = *Data;
  }
  return S;
}

struct Fixture {
  explicit Fixture(const sim::PlatformOptions &O) : P(O) {
    P.Attach();
    PackageVersion = kPackageVersion;
  }
  sim::Platform P;
};

// --- Opening ---------------------------------------------------------------

struct OpenCase {
  const char *Name;
  std::optional<Bytes> Before;         // nullopt: the variable is absent
  EFI_STATUS SizeQueryFault;
  EFI_STATUS ReadFault;
  uint32_t StoreFaultAt;
  uint32_t PoolFaultAt;
  EFI_STATUS Expected;
  std::vector<uint32_t> Pauses;
  std::vector<Bytes> Stores;           // successful stores made by the open
  uint32_t PoolBlocksHeld;             // 1 while a record is held
};
void PrintTo(const OpenCase &C, std::ostream *Out) { *Out << C.Name; }

const OpenCase kOpenCases[] = {
    {"Absent_CreatedAndStoredWithoutPause", std::nullopt, EFI_SUCCESS, EFI_SUCCESS, 0, 0,
     EFI_SUCCESS, {}, {CreatedRecord()}, 1},
    {"Present40_LoadedWithOnePause", Pattern(40), EFI_SUCCESS, EFI_SUCCESS, 0, 0, EFI_SUCCESS, {1},
     {}, 1},
    {"Present48_Loaded", Pattern(48), EFI_SUCCESS, EFI_SUCCESS, 0, 0, EFI_SUCCESS, {1}, {}, 1},
    {"NoData_NoRecordHeld", Bytes{}, EFI_SUCCESS, EFI_SUCCESS, 0, 0, EFI_SUCCESS, {}, {}, 0},
    {"SizeQueryFails_ItsStatusAfterOnePause", Pattern(40), EFI_DEVICE_ERROR, EFI_SUCCESS, 0, 0,
     EFI_DEVICE_ERROR, {1}, {}, 0},
    {"SecondReadDeviceError_InvalidParameter", Pattern(40), EFI_SUCCESS, EFI_DEVICE_ERROR, 0, 0,
     EFI_INVALID_PARAMETER, {}, {}, 0},
    {"SecondReadNotFound_InvalidParameter", Pattern(40), EFI_SUCCESS, EFI_NOT_FOUND, 0, 0,
     EFI_INVALID_PARAMETER, {}, {}, 0},
    {"SecondReadTooSmall_InvalidParameter", Pattern(48), EFI_SUCCESS, EFI_BUFFER_TOO_SMALL, 0, 0,
     EFI_INVALID_PARAMETER, {}, {}, 0},
    {"CreateStoreFails_ItsStatusAfterOnePause", std::nullopt, EFI_SUCCESS, EFI_SUCCESS, 1, 0,
     EFI_DEVICE_ERROR, {1}, {}, 0},
    {"PoolFailsOnCreate_OutOfResourcesNoPause", std::nullopt, EFI_SUCCESS, EFI_SUCCESS, 0, 1,
     EFI_OUT_OF_RESOURCES, {}, {}, 0},
    {"PoolFailsOnLoad_OutOfResourcesNoPause", Pattern(40), EFI_SUCCESS, EFI_SUCCESS, 0, 1,
     EFI_OUT_OF_RESOURCES, {}, {}, 0},
};

class OpenStatusRecordTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenStatusRecordTest, StatusPausesStoresAndPool) {
  const OpenCase &C = GetParam();
  sim::PlatformOptions O;
  O.StatusVariable = Seed(C.Before);
  O.VariableSizeQueryFault = C.SizeQueryFault;
  O.VariableReadFault = C.ReadFault;
  O.VariableStoreFaultAt = C.StoreFaultAt;
  O.PoolFaultAt = C.PoolFaultAt;
  Fixture F(O);

  EXPECT_EQ(OpenStatusRecord(), C.Expected);
  EXPECT_EQ(F.P.PausesMs(), C.Pauses);
  EXPECT_EQ(F.P.StatusVariableStores(), C.Stores);
  EXPECT_EQ(F.P.PoolOutstandingBlocks(), C.PoolBlocksHeld);
  EXPECT_EQ(F.P.AssertionFailures(), 0u);

  // The first question is a size query: no buffer, a size of 0.
  auto Gets = F.P.Events("GetVariable");
  ASSERT_FALSE(Gets.empty());
  EXPECT_EQ(Gets[0].Detail, "BX_ESRT");
  EXPECT_EQ(Gets[0].Value, 0u);

  // A store is always of the whole record under attributes 7.
  for (const auto &E : F.P.Events("SetVariable")) {
    EXPECT_EQ(E.Detail, "BX_ESRT attributes 7");
  }
  // Without a record held, nothing later stores anything either.
  if (C.PoolBlocksHeld == 0) {
    size_t StoresBefore = F.P.StatusVariableStores().size();
    MarkUpdateAttempt();
    EXPECT_EQ(CloseStatusRecord(EFI_SUCCESS, kVersionWord), EFI_SUCCESS);
    EXPECT_EQ(F.P.StatusVariableStores().size(), StoresBefore);
    // As before the run; a record whose creation failed is not there.
    EXPECT_EQ(F.P.StatusVariable(), C.Before);
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, OpenStatusRecordTest, ::testing::ValuesIn(kOpenCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// --- A whole run's use of the record ---------------------------------------

struct LifecycleCase {
  const char *Name;
  std::optional<Bytes> Before;
  bool Flash;                 // MarkUpdateAttempt runs (a firmware update)
  EFI_STATUS VersionStatus;   // what ReadVersionWord returned
  uint32_t StoreFaultAt;
  EFI_STATUS ExpectedClose;
  std::vector<Bytes> Stores;  // every successful store, open included
  std::vector<uint32_t> Pauses;
};
void PrintTo(const LifecycleCase &C, std::ostream *Out) { *Out << C.Name; }

const LifecycleCase kLifecycleCases[] = {
    {"AbsentFlashed_CreatedMarkedClosed", std::nullopt, true, EFI_SUCCESS, 0, EFI_SUCCESS,
     {CreatedRecord(), WithAttempt(CreatedRecord()), WithClose(WithAttempt(CreatedRecord()))}, {1}},
    {"AbsentConfigOnly_LastAttemptVersionNeverWritten", std::nullopt, false, EFI_SUCCESS, 0,
     EFI_SUCCESS, {CreatedRecord(), WithClose(CreatedRecord())}, {1}},
    {"Present40Flashed_OnlyTheFourFieldsChange", Pattern(40), true, EFI_SUCCESS, 0, EFI_SUCCESS,
     {WithAttempt(Pattern(40)), WithClose(WithAttempt(Pattern(40)))}, {1, 1}},
    {"Present40ConfigOnly_LastAttemptVersionKept", Pattern(40), false, EFI_SUCCESS, 0, EFI_SUCCESS,
     {WithClose(Pattern(40))}, {1, 1}},
    {"Present48_EveryStoreKeepsTheLastEightBytes", Pattern(48), true, EFI_SUCCESS, 0, EFI_SUCCESS,
     {WithAttempt(Pattern(48)), WithClose(WithAttempt(Pattern(48)))}, {1, 1}},
    {"VersionReadFailsAfterFlash_AttemptStays", Pattern(40), true, EFI_DEVICE_ERROR, 0,
     EFI_DEVICE_ERROR, {WithAttempt(Pattern(40))}, {1, 1}},
    {"VersionReadFailsConfigOnly_AsOpened", std::nullopt, false, GENERIC_FAILURE, 0,
     GENERIC_FAILURE, {CreatedRecord()}, {1}},
    {"CloseStoreFails_ItsStatusAndTheAttemptStays", Pattern(40), true, EFI_SUCCESS, 2,
     EFI_DEVICE_ERROR, {WithAttempt(Pattern(40))}, {1, 1}},
    {"MarkStoreFails_NobodyNoticesAndCloseStores", Pattern(40), true, EFI_SUCCESS, 1, EFI_SUCCESS,
     {WithClose(WithAttempt(Pattern(40)))}, {1, 1}},
    {"VersionWarning_StoredAndTheStoreStatusReturned", Pattern(40), false, EFI_WARN_WRITE_FAILURE,
     0, EFI_SUCCESS, {WithClose(Pattern(40))}, {1, 1}},
};

class StatusRecordLifecycleTest : public ::testing::TestWithParam<LifecycleCase> {};

TEST_P(StatusRecordLifecycleTest, VariableAfterTheRun) {
  const LifecycleCase &C = GetParam();
  sim::PlatformOptions O;
  O.StatusVariable = Seed(C.Before);
  O.VariableStoreFaultAt = C.StoreFaultAt;
  Fixture F(O);

  ASSERT_EQ(OpenStatusRecord(), EFI_SUCCESS);
  if (C.Flash) MarkUpdateAttempt();
  EXPECT_EQ(CloseStatusRecord(C.VersionStatus, kVersionWord), C.ExpectedClose);

  EXPECT_EQ(F.P.StatusVariableStores(), C.Stores);
  Bytes Last = C.Stores.empty() ? *C.Before : C.Stores.back();
  EXPECT_EQ(F.P.StatusVariable(), Last);
  EXPECT_EQ(F.P.StatusVariableAttributes(), 7u);
  EXPECT_EQ(F.P.PausesMs(), C.Pauses);
  EXPECT_EQ(F.P.PoolOutstandingBlocks(), 0u) << "the record is released on every close";
  EXPECT_EQ(F.P.AssertionFailures(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Runs, StatusRecordLifecycleTest, ::testing::ValuesIn(kLifecycleCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// A stored variable shorter than one entry is loaded into a whole entry with
// a zero tail: its own bytes are kept, nothing lands outside the record, and
// every later store writes the whole 40 bytes.
TEST(StatusRecordShortVariableTest, LoadedIntoAWholeEntryWithAZeroTail) {
  for (size_t Size : {1u, 24u, 36u, 39u}) {
    SCOPED_TRACE("variable of " + std::to_string(Size) + " bytes");
    sim::PlatformOptions O;
    O.StatusVariable = Seed(Pattern(Size));
    Fixture F(O);

    ASSERT_EQ(OpenStatusRecord(), EFI_SUCCESS);
    EXPECT_TRUE(F.P.StatusVariableStores().empty()) << "loading stores nothing";
    MarkUpdateAttempt();
    ASSERT_EQ(CloseStatusRecord(EFI_SUCCESS, kVersionWord), EFI_SUCCESS);

    Bytes Loaded(40, 0);
    std::memcpy(Loaded.data(), Pattern(Size).data(), Size);
    const std::vector<Bytes> Expected = {WithAttempt(Loaded), WithClose(WithAttempt(Loaded))};
    EXPECT_EQ(F.P.StatusVariableStores(), Expected);
    EXPECT_EQ(F.P.PoolOutstandingBlocks(), 0u);
  }
}

// The record holds the package version as the head left it and the version
// word exactly as the caller handed it over.
TEST(StatusRecordFieldsTest, PackageVersionAndVersionWordLandInTheirFields) {
  sim::PlatformOptions O;
  Fixture F(O);
  PackageVersion = 0xFFFFFFFE;
  ASSERT_EQ(OpenStatusRecord(), EFI_SUCCESS);
  MarkUpdateAttempt();
  ASSERT_EQ(CloseStatusRecord(EFI_SUCCESS, 0x80000001u), EFI_SUCCESS);
  auto After = F.P.StatusVariable();
  ASSERT_TRUE(After.has_value());
  ASSERT_EQ(After->size(), 40u);
  EXPECT_EQ(Get32(*After, 20), 0x80000001u);
  EXPECT_EQ(Get32(*After, 24), 0x13000100u);
  EXPECT_EQ(Get32(*After, 32), 0xFFFFFFFEu);
  EXPECT_EQ(Get32(*After, 36), 0u);
}

}  // namespace
