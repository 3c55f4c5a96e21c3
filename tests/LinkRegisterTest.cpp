// Register reads and writes through HID reports: how ranges are split into
// requests, what each request carries, and how replies are taken.
#include <gtest/gtest.h>

#include <ostream>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "link/ControllerLink.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using testsupport::Request;

const uint8_t kCanary = 0xC5;
const uint8_t kPlainType = 200;

sim::PlatformOptions WithPlainObject(sim::PlatformOptions Options = sim::PlatformOptions()) {
  touchsim::ControllerConfig &Config = Options.Controller;
  Config.Objects[Config.ObjectCount++] = touchsim::ObjectDefinition{kPlainType, 256, 2, 0};
  return Options;
}

std::vector<uint8_t> Pattern(size_t Length, uint8_t Seed) {
  std::vector<uint8_t> Bytes(Length);
  for (size_t i = 0; i < Length; ++i) Bytes[i] = static_cast<uint8_t>(Seed + i * 13);
  return Bytes;
}

// The attached platform with the controller discovered, as every register
// access after start-up finds it.
class RegisterAccess : public testsupport::DiscoveredController {
 protected:
  void Start(const sim::PlatformOptions &Options = sim::PlatformOptions()) {
    DiscoveredController::Start(Options);
    OutputRegister = ControllerState.OutputRegister;
  }
  std::vector<uint8_t> Live(uint16_t Address, size_t Length) {
    const uint8_t *Registers = Platform->Controller().Registers();
    std::vector<uint8_t> Bytes(Length);
    for (size_t i = 0; i < Length; ++i) Bytes[i] = Registers[(Address + i) & 0xFFFF];
    return Bytes;
  }
  // The start of the plain object that WithPlainObject() adds: writable,
  // without behaviour, and long enough for every write here.
  uint16_t WritableAddress() {
    touchsim::TouchController &Controller = Platform->Controller();
    uint32_t Index = Controller.FindObjectIndex(kPlainType);
    EXPECT_LT(Index, Controller.ObjectCount());
    return Controller.ObjectAddress(Index);
  }
  std::vector<std::vector<uint8_t>> Requests() {
    std::vector<std::vector<uint8_t>> Out;
    for (const sim::TraceEvent &E : Platform->Events("I2cWrite")) {
      EXPECT_EQ(E.Slave, APPLICATION_SLAVE_ADDRESS);
      Out.push_back(E.Bytes);
    }
    return Out;
  }

  uint16_t OutputRegister = 0;
};

struct ReadStep {
  uint8_t ReadCount;
  uint16_t Offset;  // from the first address
};

struct ReadCase {
  const char *Name;
  uint16_t Count;
  touchsim::DeviceFaults Faults;
  std::vector<ReadStep> Steps;
  size_t BytesFilled;  // destination bytes that must hold the controller's bytes
  bool Fails;
  std::vector<uint32_t> PausesMs;
};
void PrintTo(const ReadCase &Case, std::ostream *Out) { *Out << Case.Name; }

touchsim::DeviceFaults NoFaults() { return touchsim::DeviceFaults{}; }
touchsim::DeviceFaults ShortReply(uint32_t At, uint8_t Count) {
  touchsim::DeviceFaults F{};
  F.ShortReplyAt = At;
  F.ShortReplyCount = Count;
  return F;
}
touchsim::DeviceFaults ReplyStatus(uint32_t At, uint8_t Value) {
  touchsim::DeviceFaults F{};
  F.ReplyStatusAt = At;
  F.ReplyStatusValue = Value;
  return F;
}
touchsim::DeviceFaults Overlong(uint32_t At, uint8_t Count) {
  touchsim::DeviceFaults F{};
  F.OverlongReplyAt = At;
  F.OverlongReplyCount = Count;
  return F;
}
touchsim::DeviceFaults EmptyReplies() {
  touchsim::DeviceFaults F{};
  F.ShortRepliesFrom = 1;
  F.ShortReplyCount = 0;
  return F;
}

class ReadRegistersCases : public RegisterAccess, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadRegistersCases, SplitsIntoRequestsAndCopiesWhatRepliesCarry) {
  const ReadCase &Case = GetParam();
  sim::PlatformOptions Options;
  Options.DeviceFaults = Case.Faults;
  Start(Options);
  const uint16_t Address = 0;  // the information block and the object table
  std::vector<uint8_t> Destination(Case.Count + 16, kCanary);

  EFI_STATUS Status = ReadRegisters(I2c(), Address, Case.Count, Destination.data());

  std::vector<std::vector<uint8_t>> Sent = Requests();
  ASSERT_EQ(Sent.size(), Case.Steps.size());
  for (size_t i = 0; i < Sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Sent[i], Request(OutputRegister, 2, Case.Steps[i].ReadCount,
                               static_cast<uint16_t>(Address + Case.Steps[i].Offset)));
  }
  std::vector<uint8_t> Expected = Live(Address, Case.BytesFilled);
  Expected.resize(Destination.size(), kCanary);
  EXPECT_EQ(Destination, Expected);
  if (Case.Fails) {
    EXPECT_EQ(Status, GENERIC_FAILURE);
  } else {
    EXPECT_EQ(Status, EFI_SUCCESS);
  }
  EXPECT_EQ(Platform->PausesMs(), Case.PausesMs);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ReadRegistersCases,
    ::testing::Values(
        ReadCase{"NothingToRead", 0, NoFaults(), {}, 0, false, {}},
        ReadCase{"TailOnly", 7, NoFaults(), {{7, 0}}, 7, false, {}},
        ReadCase{"OneFullRequest", 15, NoFaults(), {{15, 0}}, 15, false, {}},
        ReadCase{"FullAndTailOfOne", 16, NoFaults(), {{15, 0}, {1, 15}}, 16, false, {}},
        ReadCase{"SeveralFullRequests", 47, NoFaults(), {{15, 0}, {15, 15}, {15, 30}, {2, 45}},
                 47, false, {}},
        // A full request answered with 10 bytes: the rest is asked for from
        // where that reply ended.
        ReadCase{"ShortFullReplyMovesTheNextRequest", 20, ShortReply(1, 10), {{15, 0}, {10, 10}},
                 20, false, {}},
        // The tail is asked for once: the bytes it left out keep what they held.
        ReadCase{"ShortTailReplyIsAccepted", 7, ShortReply(1, 5), {{7, 0}}, 5, false, {}},
        ReadCase{"FailedSecondReplyKeepsTheFirst", 30, ReplyStatus(2, 1), {{15, 0}, {15, 15}}, 15,
                 true, {1}},
        ReadCase{"FailedTailReply", 7, ReplyStatus(1, 0x80), {{7, 0}}, 0, true, {1}},
        // Replies that claim more bytes than asked are rejected whole: nothing
        // lands past the destination and nothing comes from past the reply.
        ReadCase{"ClaimBeyondTheReply", 7, Overlong(1, 200), {{7, 0}}, 0, true, {1}},
        ReadCase{"ClaimBeyondTheTail", 7, Overlong(1, 9), {{7, 0}}, 0, true, {1}},
        ReadCase{"ClaimBeyondFifteen", 30, Overlong(2, 16), {{15, 0}, {15, 15}}, 15, true, {1}},
        // An empty reply to a full request makes no progress: the read ends
        // instead of asking again and again.
        ReadCase{"EmptyFullReply", 30, EmptyReplies(), {{15, 0}}, 0, true, {1}},
        ReadCase{"EmptyTailReply", 7, EmptyReplies(), {{7, 0}}, 0, false, {}}),
    [](const ::testing::TestParamInfo<ReadCase> &Info) { return Info.param.Name; });

TEST_F(RegisterAccess, ReadAddressesWrapAt16Bits) {
  Start();
  std::vector<uint8_t> Destination(16, kCanary);

  EXPECT_EQ(ReadRegisters(I2c(), 0xFFF8, 16, Destination.data()), EFI_SUCCESS);

  std::vector<std::vector<uint8_t>> Sent = Requests();
  ASSERT_EQ(Sent.size(), 2u);
  EXPECT_EQ(Sent[0], Request(OutputRegister, 2, 15, 0xFFF8));
  EXPECT_EQ(Sent[1], Request(OutputRegister, 2, 1, 0x0007));
}

struct BusFailureCase {
  const char *Name;
  sim::PlatformOptions Options;
  EFI_STATUS ReadStatus;
  std::vector<uint32_t> ReadPausesMs;
  EFI_STATUS WriteStatus;
  std::vector<uint32_t> WritePausesMs;
};
void PrintTo(const BusFailureCase &Case, std::ostream *Out) { *Out << Case.Name; }

std::vector<uint32_t> LineTimeout(std::vector<uint32_t> After) {
  std::vector<uint32_t> Pauses(20, 20);
  Pauses.insert(Pauses.end(), After.begin(), After.end());
  return Pauses;
}

sim::PlatformOptions WithFault(const std::string &Kind, EFI_STATUS Status) {
  sim::PlatformOptions Options;
  Options.TransferFaults.push_back({Kind, APPLICATION_SLAVE_ADDRESS, 1, Status, false});
  return Options;
}

sim::PlatformOptions LineNeverAsserts() {
  sim::PlatformOptions Options;
  Options.LineNeverAsserts = true;
  return Options;
}

class BusFailures : public RegisterAccess, public ::testing::WithParamInterface<BusFailureCase> {};

TEST_P(BusFailures, EndTheCallAfterTheFirstRequest) {
  const BusFailureCase &Case = GetParam();
  for (bool Write : {false, true}) {
    SCOPED_TRACE(Write ? "write" : "read");
    Start(WithPlainObject(Case.Options));
    std::vector<uint8_t> Buffer(30, kCanary);

    EFI_STATUS Status = Write ? WriteRegisters(I2c(), WritableAddress(), 30, Buffer.data())
                              : ReadRegisters(I2c(), 0x0000, 30, Buffer.data());

    EXPECT_EQ(Status, Write ? Case.WriteStatus : Case.ReadStatus);
    EXPECT_EQ(Platform->PausesMs(), Write ? Case.WritePausesMs : Case.ReadPausesMs);
    EXPECT_EQ(Platform->Events("I2cWrite").size(), 1u);
    if (!Write) EXPECT_EQ(Buffer, std::vector<uint8_t>(30, kCanary));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BusFailures,
    ::testing::Values(
        BusFailureCase{"LineNeverAsserts", LineNeverAsserts(), GENERIC_FAILURE, LineTimeout({1}),
                       GENERIC_FAILURE, LineTimeout({})},
        // The read fails as the generic failure; the write hands on the
        // platform's own status.
        BusFailureCase{"ReplyReadFails", WithFault("I2cRead", EFI_DEVICE_ERROR), GENERIC_FAILURE,
                       {1}, EFI_DEVICE_ERROR, {}},
        // A lost request is not noticed as such: the missing reply is.
        BusFailureCase{"RequestWriteFails", WithFault("I2cWrite", EFI_DEVICE_ERROR),
                       GENERIC_FAILURE, LineTimeout({1}), GENERIC_FAILURE, LineTimeout({})}),
    [](const ::testing::TestParamInfo<BusFailureCase> &Info) { return Info.param.Name; });

struct WriteCase {
  const char *Name;
  uint16_t Count;
  size_t FullRequests;
  uint8_t TailLength;  // 0: no tail request
};
void PrintTo(const WriteCase &Case, std::ostream *Out) { *Out << Case.Name; }

class WriteRegistersCases : public RegisterAccess,
                            public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteRegistersCases, SendsTwelveBytesPerRequestAndTheRestInATail) {
  const WriteCase &Case = GetParam();
  Start(WithPlainObject());
  const uint16_t Address = WritableAddress();
  std::vector<uint8_t> Source = Pattern(Case.Count, 0x31);

  EXPECT_EQ(WriteRegisters(I2c(), Address, Case.Count, Source.data()), EFI_SUCCESS);

  std::vector<std::vector<uint8_t>> Sent = Requests();
  ASSERT_EQ(Sent.size(), Case.FullRequests + (Case.TailLength != 0 ? 1 : 0));
  for (size_t i = 0; i < Case.FullRequests; ++i) {
    SCOPED_TRACE(i);
    std::vector<uint8_t> Data(Source.begin() + i * 12, Source.begin() + i * 12 + 12);
    EXPECT_EQ(Sent[i], Request(OutputRegister, 14, 0, static_cast<uint16_t>(Address + i * 12),
                               Data));
  }
  if (Case.TailLength != 0) {
    size_t Offset = Case.FullRequests * 12;
    std::vector<uint8_t> Data(Source.begin() + Offset, Source.end());
    EXPECT_EQ(Sent.back(), Request(OutputRegister, static_cast<uint8_t>(Case.TailLength + 2), 0,
                                   static_cast<uint16_t>(Address + Offset), Data));
  }
  EXPECT_EQ(Live(Address, Case.Count), Source);
  EXPECT_EQ(Platform->Controller().RequestsDecoded(), Sent.size());
  EXPECT_EQ(Platform->Controller().RequestsWithStrayBytes(), 0u);
  EXPECT_EQ(Platform->Controller().RefusedWrites(), 0u);
  EXPECT_TRUE(Platform->PausesMs().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, WriteRegistersCases,
    ::testing::Values(WriteCase{"NothingToWrite", 0, 0, 0}, WriteCase{"OneByte", 1, 0, 1},
                      WriteCase{"TailOfEleven", 11, 0, 11}, WriteCase{"OneFullRequest", 12, 1, 0},
                      WriteCase{"FullAndTailOfOne", 13, 1, 1},
                      WriteCase{"WholeObjectOf256", 256, 21, 4}),
    [](const ::testing::TestParamInfo<WriteCase> &Info) { return Info.param.Name; });

TEST_F(RegisterAccess, WriteRepliesAreNotExamined) {
  sim::PlatformOptions Options;
  Options.DeviceFaults = ReplyStatus(1, 1);
  Start(WithPlainObject(Options));
  const uint16_t Address = WritableAddress();
  std::vector<uint8_t> Source = Pattern(24, 0x55);

  EXPECT_EQ(WriteRegisters(I2c(), Address, 24, Source.data()), EFI_SUCCESS);

  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_TRUE(Platform->PausesMs().empty());
}

}  // namespace
