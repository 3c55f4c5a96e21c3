// The simulated platform's own services must behave as firmware's do, or
// every test built on them proves the wrong thing.
#include <gtest/gtest.h>

#include "platform/Library.h"
#include "sim/host/Platform.h"

namespace {

EFI_GUID StatusGuid() { return TOUCH_STATUS_VARIABLE_GUID; }
CHAR16 *StatusName() { return const_cast<CHAR16 *>(u"BX_ESRT"); }

TEST(SimPlatformTest, VariableStoreFollowsTheServiceContract) {
  sim::PlatformOptions Options;
  Options.StatusVariable.Present = true;
  Options.StatusVariable.Data.assign(48, 0x5A);
  sim::Platform P(Options);
  P.Attach();
  EFI_GUID Guid = StatusGuid();

  UINTN Size = 0;
  EXPECT_EQ(gRT->GetVariable(StatusName(), &Guid, nullptr, &Size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 48u);

  uint8_t Data[48] = {};
  UINT32 Attributes = 0;
  EXPECT_EQ(gRT->GetVariable(StatusName(), &Guid, &Attributes, &Size, Data), EFI_SUCCESS);
  EXPECT_EQ(Attributes, 7u);
  EXPECT_EQ(Data[47], 0x5A);

  // An existing variable keeps its attributes.
  EXPECT_EQ(gRT->SetVariable(StatusName(), &Guid, 3, sizeof Data, Data), EFI_INVALID_PARAMETER);
  Data[0] = 1;
  EXPECT_EQ(gRT->SetVariable(StatusName(), &Guid, 7, sizeof Data, Data), EFI_SUCCESS);
  ASSERT_EQ(P.StatusVariableStores().size(), 1u);
  EXPECT_EQ(P.StatusVariable()->at(0), 1);

  // A different vendor GUID is a different variable.
  EFI_GUID Other = Guid;
  Other.Data1 ^= 1;
  Size = 0;
  EXPECT_EQ(gRT->GetVariable(StatusName(), &Other, nullptr, &Size, nullptr), EFI_NOT_FOUND);
}

TEST(SimPlatformTest, VariableFaultsHitTheirCallsOnly) {
  sim::PlatformOptions Options;
  Options.StatusVariable.Present = true;
  Options.StatusVariable.Data.assign(40, 0);
  Options.VariableReadFault = EFI_DEVICE_ERROR;
  Options.VariableStoreFaultAt = 2;
  sim::Platform P(Options);
  P.Attach();
  EFI_GUID Guid = StatusGuid();
  uint8_t Data[40] = {};
  UINTN Size = 0;
  EXPECT_EQ(gRT->GetVariable(StatusName(), &Guid, nullptr, &Size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(gRT->GetVariable(StatusName(), &Guid, nullptr, &Size, Data), EFI_DEVICE_ERROR);
  EXPECT_EQ(gRT->SetVariable(StatusName(), &Guid, 7, 40, Data), EFI_SUCCESS);
  EXPECT_EQ(gRT->SetVariable(StatusName(), &Guid, 7, 40, Data), EFI_DEVICE_ERROR);
  EXPECT_EQ(P.StatusVariableStores().size(), 1u);
}

TEST(SimPlatformTest, PoolIsAccountedAndFaultsOnDemand) {
  sim::PlatformOptions Options;
  Options.PoolFaultAt = 2;
  sim::Platform P(Options);
  P.Attach();
  VOID *First = AllocateZeroPool(40);
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(static_cast<uint8_t *>(First)[39], 0);
  EXPECT_EQ(AllocateZeroPool(40), nullptr);
  EXPECT_EQ(P.PoolOutstandingBytes(), 40u);
  FreePool(First);
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
  EXPECT_EQ(P.AssertionFailures(), 0u);
  int NotPool = 0;
  FreePool(&NotPool);
  EXPECT_EQ(P.AssertionFailures(), 1u);
}

TEST(SimPlatformTest, StallAdvancesVirtualTimeAndTplIsTracked) {
  sim::Platform P;
  P.Attach();
  EFI_TPL Old = gBS->RaiseTPL(TPL_HIGH_LEVEL);
  gBS->Stall(1500);
  gBS->RestoreTPL(Old);
  EXPECT_EQ(P.NowUs(), 1500u);
  EXPECT_EQ(P.PausesMs(), std::vector<uint32_t>{1});
  EXPECT_EQ(P.TplViolations(), 0u);
  VOID *Interface = nullptr;
  EFI_GUID I2c = PLATFORM_I2C_ACCESS_PROTOCOL_GUID;
  EXPECT_EQ(gBS->LocateProtocol(&I2c, nullptr, &Interface), EFI_SUCCESS);
  EXPECT_EQ(P.TplViolations(), 1u);  // called at TPL_APPLICATION
}

TEST(SimPlatformTest, StatusValuesAreReportedInTheirIa32Form) {
  EXPECT_EQ(sim::Ia32Status(GENERIC_FAILURE), 0x80000000u);
  EXPECT_EQ(sim::Ia32Status(EFI_NOT_FOUND), 0x8000000Eu);
  EXPECT_EQ(sim::StatusName(EFI_TIMEOUT), "EFI_TIMEOUT");
  EXPECT_EQ(sim::StatusName(ENCODE_ERROR(0x55)), "0x80000055");
}

}  // namespace
