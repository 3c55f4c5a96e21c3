// Raw bus access: write splitting, reads, pauses and the interrupt-line wait.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "link/ControllerLink.h"
#include "sim/host/Platform.h"

namespace {

std::vector<uint8_t> Pattern(size_t Length) {
  std::vector<uint8_t> Bytes(Length);
  for (size_t i = 0; i < Length; ++i) Bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return Bytes;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t> &Bytes, size_t Offset, size_t Length) {
  return std::vector<uint8_t>(Bytes.begin() + Offset, Bytes.begin() + Offset + Length);
}

// A register request for 7 bytes at address 0, so that the controller has a
// reply ready and drives its line.
std::vector<uint8_t> ReadRequest(uint16_t OutputRegister) {
  return {static_cast<uint8_t>(OutputRegister), static_cast<uint8_t>(OutputRegister >> 8),
          0x14, 0x00, 0x06, 0x51, 0x02, 0x07, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

struct WriteCase {
  const char *Name;
  uint16_t Length;
  uint32_t FailingPiece;           // 1-based; 0: none fails
  std::vector<size_t> Pieces;      // lengths of the transfers made
  std::vector<uint32_t> PausesMs;
};
void PrintTo(const WriteCase &Case, std::ostream *Out) { *Out << Case.Name; }

class I2cWriteSplit : public ::testing::TestWithParam<WriteCase> {};

TEST_P(I2cWriteSplit, SendsPiecesInOrderAndStopsAtTheFirstFailure) {
  const WriteCase &Case = GetParam();
  sim::PlatformOptions Options;
  if (Case.FailingPiece != 0) {
    Options.TransferFaults.push_back({"I2cWrite", BOOTLOADER_SLAVE_ADDRESS, Case.FailingPiece,
                                      EFI_DEVICE_ERROR, false});
  }
  Options.Controller.StartInBootloader = true;
  sim::Platform Platform(Options);
  Platform.Attach();
  std::vector<uint8_t> Source = Pattern(Case.Length);

  EFI_STATUS Status = I2cWrite(Platform.I2cProtocolInstance(), BOOTLOADER_SLAVE_ADDRESS,
                               Source.data(), Case.Length);

  std::vector<sim::TraceEvent> Writes = Platform.Events("I2cWrite");
  ASSERT_EQ(Writes.size(), Case.Pieces.size());
  size_t Offset = 0;
  for (size_t i = 0; i < Writes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Writes[i].Slave, BOOTLOADER_SLAVE_ADDRESS);
    EXPECT_EQ(Writes[i].Bytes, Slice(Source, Offset, Case.Pieces[i]));
    EXPECT_EQ(Writes[i].Detail, "");  // the constant arguments were 0, 0 and 1
    Offset += Case.Pieces[i];
  }
  EXPECT_EQ(Status, Writes.back().Status);  // the last call's status, untranslated
  EXPECT_EQ(EFI_ERROR(Status), Case.FailingPiece != 0);
  EXPECT_EQ(Platform.PausesMs(), Case.PausesMs);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, I2cWriteSplit,
    ::testing::Values(
        WriteCase{"Exactly255", 255, 0, {255}, {}},
        WriteCase{"Just256", 256, 0, {255, 1}, {}},
        WriteCase{"Twice255", 510, 0, {255, 255}, {}},
        WriteCase{"Twice255AndOne", 511, 0, {255, 255, 1}, {}},
        WriteCase{"Frame600", 600, 0, {255, 255, 90}, {}},
        WriteCase{"SecondPieceOf600Fails", 600, 2, {255, 255}, {1}},
        WriteCase{"LastPieceOf256Fails", 256, 2, {255, 1}, {1}},
        WriteCase{"SingleTransferFailsWithoutPause", 22, 1, {22}, {}},
        WriteCase{"FullSingleTransferFailsWithoutPause", 255, 1, {255}, {}}),
    [](const ::testing::TestParamInfo<WriteCase> &Info) { return Info.param.Name; });

TEST(I2cRead, PassesTheProtocolStatusOnUnchanged) {
  struct Case {
    const char *Name;
    uint8_t Slave;
    std::vector<sim::TransferFault> Faults;
    bool ExpectFailure;
  };
  const Case Cases[] = {
      // Nobody acknowledges the bootloader address while the controller runs
      // its application: the bootloader probe relies on this failing.
      {"ProbeOfAbsentBootloader", BOOTLOADER_SLAVE_ADDRESS, {}, true},
      {"PlatformTimeout", APPLICATION_SLAVE_ADDRESS,
       {{"I2cRead", APPLICATION_SLAVE_ADDRESS, 1, EFI_TIMEOUT, false}}, true},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Name);
    sim::PlatformOptions Options;
    Options.TransferFaults = C.Faults;
    sim::Platform Platform(Options);
    Platform.Attach();
    uint8_t Byte = 0xEE;

    EFI_STATUS Status = I2cRead(Platform.I2cProtocolInstance(), C.Slave, &Byte, 1);

    std::vector<sim::TraceEvent> Reads = Platform.Events("I2cRead");
    ASSERT_EQ(Reads.size(), 1u);
    EXPECT_EQ(Reads[0].Slave, C.Slave);
    EXPECT_EQ(Reads[0].Value, 1u);
    EXPECT_EQ(Reads[0].Detail, "");
    EXPECT_EQ(Status, Reads[0].Status);
    EXPECT_EQ(EFI_ERROR(Status), C.ExpectFailure);
    EXPECT_TRUE(Platform.PausesMs().empty());
  }
}

TEST(StallMs, AsksTheFirmwareForMicroseconds) {
  sim::Platform Platform;
  Platform.Attach();

  StallMs(1);
  StallMs(5000);

  std::vector<sim::TraceEvent> Stalls = Platform.Events("Stall");
  ASSERT_EQ(Stalls.size(), 2u);
  EXPECT_EQ(Stalls[0].Value, 1000u);
  EXPECT_EQ(Stalls[1].Value, 5000000u);
}

struct LineCase {
  const char *Name;
  bool NeverAsserts;
  uint32_t DelayReads;     // line reads that still show it deasserted
  bool Expected;
  size_t LineReads;
  size_t Pauses;           // each of 20 ms
};
void PrintTo(const LineCase &Case, std::ostream *Out) { *Out << Case.Name; }

class InterruptLineWait : public ::testing::TestWithParam<LineCase> {};

TEST_P(InterruptLineWait, PollsEvery20MsAndGivesUpAfter20Pauses) {
  const LineCase &Case = GetParam();
  sim::PlatformOptions Options;
  Options.LineNeverAsserts = Case.NeverAsserts;
  Options.LineDelayReads = Case.DelayReads;
  sim::Platform Platform(Options);
  Platform.Attach();
  std::vector<uint8_t> Request = ReadRequest(Platform.Controller().AnnouncedOutputRegister());
  ASSERT_FALSE(EFI_ERROR(I2cWrite(Platform.I2cProtocolInstance(), APPLICATION_SLAVE_ADDRESS,
                                  Request.data(), static_cast<uint16_t>(Request.size()))));
  Platform.ClearTrace();

  EXPECT_EQ(WaitForInterruptLine(), Case.Expected);

  EXPECT_EQ(Platform.Events("LineRead").size(), Case.LineReads);
  EXPECT_EQ(Platform.PausesMs(), std::vector<uint32_t>(Case.Pauses, 20));
  // Nothing but line reads and pauses: the wait never touches the bus.
  EXPECT_EQ(Platform.Trace().size(), Case.LineReads + Case.Pauses);
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, InterruptLineWait,
    ::testing::Values(LineCase{"AssertedAtOnce", false, 0, true, 1, 0},
                      LineCase{"AssertedAtTheLastRead", false, 19, true, 20, 19},
                      LineCase{"AssertedOneReadTooLate", false, 20, false, 20, 20},
                      LineCase{"NeverAsserted", true, 0, false, 20, 20}),
    [](const ::testing::TestParamInfo<LineCase> &Info) { return Info.param.Name; });

TEST(InterruptLineAsserted, ReadsTheLineOnceWithoutWaiting) {
  for (bool ReplyPending : {false, true}) {
    SCOPED_TRACE(ReplyPending ? "reply pending" : "idle");
    sim::Platform Platform;
    Platform.Attach();
    if (ReplyPending) {
      std::vector<uint8_t> Request = ReadRequest(Platform.Controller().AnnouncedOutputRegister());
      ASSERT_FALSE(EFI_ERROR(I2cWrite(Platform.I2cProtocolInstance(), APPLICATION_SLAVE_ADDRESS,
                                      Request.data(), static_cast<uint16_t>(Request.size()))));
      Platform.ClearTrace();
    }

    EXPECT_EQ(InterruptLineAsserted(), ReplyPending ? TRUE : FALSE);

    EXPECT_EQ(Platform.Events("LineRead").size(), 1u);
    EXPECT_EQ(Platform.Trace().size(), 1u);
  }
}

}  // namespace
