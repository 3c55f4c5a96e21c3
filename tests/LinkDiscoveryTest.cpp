// Finding the controller's HID output register over SMBus.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "link/ControllerLink.h"
#include "sim/host/Platform.h"

namespace {

const sim::SmbusHandleSpec kAnswers{};
const sim::SmbusHandleSpec kExecuteFails{EFI_SUCCESS, EFI_DEVICE_ERROR};
const sim::SmbusHandleSpec kHandleProtocolFails{EFI_UNSUPPORTED, EFI_SUCCESS};

struct DiscoveryCase {
  const char *Name;
  std::vector<sim::SmbusHandleSpec> Handles;
  bool ControllerPresent;
  uint8_t ForcedSmbusLength;         // 0: the whole descriptor comes back
  EFI_STATUS Expected;
  size_t HandleProtocols;
  size_t Executes;                   // block reads made
  std::vector<uint32_t> PausesMs;
};
void PrintTo(const DiscoveryCase &Case, std::ostream *Out) { *Out << Case.Name; }

class FindHidDeviceCases : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(FindHidDeviceCases, TriesEveryHandleInOrderUntilOneAnswers) {
  const DiscoveryCase &Case = GetParam();
  sim::PlatformOptions Options;
  Options.SmbusHandles = Case.Handles;
  Options.ControllerPresent = Case.ControllerPresent;
  Options.DeviceFaults.ForcedSmbusLength = Case.ForcedSmbusLength;
  Options.Controller.OutputRegister = 0x0123;
  sim::Platform Platform(Options);
  Platform.Attach();

  EXPECT_EQ(FindHidDevice(), Case.Expected);

  std::vector<sim::TraceEvent> Executes = Platform.Events("SmbusExecute");
  ASSERT_EQ(Executes.size(), Case.Executes);
  for (const sim::TraceEvent &E : Executes) {
    EXPECT_EQ(E.Slave, APPLICATION_SLAVE_ADDRESS);
    EXPECT_EQ(E.Detail.substr(E.Detail.find(" command")),
              " command 0 operation " + std::to_string(EfiSmbusReadBlock) + " pec 0 length 30");
  }
  EXPECT_EQ(Platform.PausesMs(), Case.PausesMs);
  EXPECT_EQ(Platform.Events("HandleProtocol").size(), Case.HandleProtocols);
  // The handle array goes back to pool whatever the outcome.
  EXPECT_EQ(Platform.PoolOutstandingBlocks(), 0u);

  EXPECT_EQ(ControllerState.HidDescriptorRead, EFI_ERROR(Case.Expected) ? FALSE : TRUE);
  EXPECT_EQ(ControllerState.OutputRegister, EFI_ERROR(Case.Expected) ? 0 : 0x0123);
}

INSTANTIATE_TEST_SUITE_P(
    Handles, FindHidDeviceCases,
    ::testing::Values(
        DiscoveryCase{"OneController", {kAnswers}, true, 0, EFI_SUCCESS, 1, 1, {}},
        DiscoveryCase{"SecondAnswersAfterFirstExecuteFails",
                      {kExecuteFails, kAnswers}, true, 0, EFI_SUCCESS, 2, 2, {}},
        DiscoveryCase{"SecondAnswersAfterFirstHandleProtocolFails",
                      {kHandleProtocolFails, kAnswers}, true, 0, EFI_SUCCESS, 2, 1, {}},
        DiscoveryCase{"FirstAnswerEndsTheSearch", {kAnswers, kAnswers}, true, 0, EFI_SUCCESS, 1, 1, {}},
        DiscoveryCase{"LastHandleStatusWins", {kExecuteFails, kHandleProtocolFails}, true, 0,
                      EFI_UNSUPPORTED, 2, 1, {}},
        DiscoveryCase{"NoSmbusController", {}, true, 0, EFI_NOT_FOUND, 0, 0, {1}},
        DiscoveryCase{"NobodyAtTheAddress", {kAnswers}, false, 0, EFI_DEVICE_ERROR, 1, 1, {}},
        // A block read that stops before bytes 12-13 carries no output register.
        DiscoveryCase{"BlockTooShortForTheOutputRegister", {kAnswers}, true, 13,
                      EFI_DEVICE_ERROR, 1, 1, {}},
        DiscoveryCase{"BlockJustLongEnough", {kAnswers}, true, 14, EFI_SUCCESS, 1, 1, {}}),
    [](const ::testing::TestParamInfo<DiscoveryCase> &Info) { return Info.param.Name; });

TEST(FindHidDevice, AnswersFromTheCacheOnceFoundAndSearchesAgainAfterAFailure) {
  sim::PlatformOptions Options;
  Options.SmbusHandles = {kExecuteFails};
  sim::Platform Failing(Options);
  Failing.Attach();
  ASSERT_TRUE(EFI_ERROR(FindHidDevice()));
  Failing.ClearTrace();
  ASSERT_TRUE(EFI_ERROR(FindHidDevice()));
  EXPECT_EQ(Failing.Events("SmbusExecute").size(), 1u);

  sim::Platform Platform;
  Platform.Attach();
  ASSERT_EQ(FindHidDevice(), EFI_SUCCESS);
  Platform.ClearTrace();
  EXPECT_EQ(FindHidDevice(), EFI_SUCCESS);
  EXPECT_TRUE(Platform.Trace().empty());

  // A cleared flag (as after a firmware update) makes the next call read again.
  ControllerState.HidDescriptorRead = FALSE;
  EXPECT_EQ(FindHidDevice(), EFI_SUCCESS);
  EXPECT_EQ(Platform.Events("SmbusExecute").size(), 1u);
}

TEST(FindHidDevice, EveryRegisterRequestStartsWithTheOutputRegister) {
  struct Case {
    const char *Name;
    bool Discover;
    std::vector<uint8_t> Head;
    uint32_t Decoded;  // requests the controller took as addressed to it
  };
  const Case Cases[] = {
      {"AfterDiscovery", true, {0x05, 0x00}, 2},
      {"BeforeAnyDiscovery", false, {0x00, 0x00}, 0},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Name);
    sim::PlatformOptions Options;
    Options.Controller.OutputRegister = 0x0005;
    sim::Platform Platform(Options);
    Platform.Attach();
    if (C.Discover) ASSERT_EQ(FindHidDevice(), EFI_SUCCESS);
    uint8_t Byte = 0;

    ReadRegisters(Platform.I2cProtocolInstance(), 0, 1, &Byte);
    WriteRegisters(Platform.I2cProtocolInstance(), 0x100, 1, &Byte);

    std::vector<sim::TraceEvent> Writes = Platform.Events("I2cWrite");
    ASSERT_EQ(Writes.size(), 2u);
    for (const sim::TraceEvent &E : Writes) {
      EXPECT_EQ(std::vector<uint8_t>(E.Bytes.begin(), E.Bytes.begin() + 2), C.Head);
    }
    EXPECT_EQ(Platform.Controller().RequestsDecoded(), C.Decoded);
    EXPECT_EQ(Platform.Controller().RequestsIgnored(), 2 - C.Decoded);
  }
}

}  // namespace
