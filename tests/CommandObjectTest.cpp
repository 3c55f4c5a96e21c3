// The command object operations: the command byte, the bare reset request and
// the commit with its wait for the command object's message, judged by the
// register requests on the bus, the pauses and what the controller received.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "link/ControllerLink.h"
#include "operations/Operations.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::FailRead;
using testsupport::Pauses;
using testsupport::QueueMessages;
using testsupport::Request;
using testsupport::RequestAddress;
using testsupport::UseObjects;
using Commands = std::vector<std::pair<uint16_t, uint8_t>>;

constexpr uint8_t kMessageType = 5;
constexpr uint8_t kCommandType = 6;

struct Bench {
  explicit Bench(const sim::PlatformOptions &O) : P(O) {
    P.Attach();
    I2c = P.I2cProtocolInstance();
    EXPECT_EQ(FindHidDevice(), EFI_SUCCESS);
  }
  // The table read done and the trace cleared: what follows is the
  // operation's own traffic.
  void TableRead() {
    ASSERT_EQ(ReadObjectTable(I2c), EFI_SUCCESS);
    P.ClearTrace();
  }
  uint16_t Address(uint8_t Type) {
    auto &C = P.Controller();
    return C.ObjectAddress(C.FindObjectIndex(Type));
  }
  Commands Received() {
    Commands Out;
    auto &C = P.Controller();
    for (uint32_t i = 0; i < C.CommandCount(); ++i) Out.push_back({C.Command(i).Offset, C.Command(i).Value});
    return Out;
  }
  // Register requests written to the controller.
  std::vector<Bytes> Requests() {
    std::vector<Bytes> Out;
    for (const auto &E : P.Events("I2cWrite")) {
      if (E.Slave == APPLICATION_SLAVE_ADDRESS && E.Bytes.size() == 22) Out.push_back(E.Bytes);
    }
    return Out;
  }
  // Reads that start at the message object: one per message taken.
  size_t MessageReads() {
    auto &C = P.Controller();
    if (C.FindObjectIndex(kMessageType) == C.ObjectCount()) return 0;
    uint16_t At = Address(kMessageType);
    size_t Count = 0;
    for (const Bytes &R : Requests()) {
      if (R[6] == 2 && RequestAddress(R) == At) ++Count;
    }
    return Count;
  }
  sim::Platform P;
  PLATFORM_I2C_ACCESS_PROTOCOL *I2c;
};

// --- WriteCommandByte ------------------------------------------------------

TEST(WriteCommandByteTest, OneRegisterWriteToOffsetOneWhenTheTableIsRead) {
  for (uint8_t Value : {0x33, 0x55, 0x00, 0xFF}) {
    SCOPED_TRACE(static_cast<int>(Value));
    sim::PlatformOptions O;
    Bench B(O);
    B.TableRead();
    uint16_t Command = B.Address(kCommandType);

    EXPECT_EQ(WriteCommandByte(B.I2c, Value), EFI_SUCCESS);

    EXPECT_EQ(B.Requests(), (std::vector<Bytes>{Request(0x0005, 3, 0, Command + 1, {Value})}));
    EXPECT_EQ(B.Received(), (Commands{{1, Value}}));
    EXPECT_TRUE(B.P.PausesMs().empty());
  }
}

TEST(WriteCommandByteTest, ReadsTheTableFirstAndWritesNothingWhenThatFails) {
  {
    sim::PlatformOptions O;
    Bench B(O);
    EXPECT_EQ(WriteCommandByte(B.I2c, 0x33), EFI_SUCCESS);
    auto Requests = B.Requests();
    ASSERT_EQ(Requests.size(), 1 + O.Controller.ObjectCount + 1);
    EXPECT_EQ(Requests.front(), Request(0x0005, 2, 7, 0x0000, {}));
    EXPECT_EQ(Requests.back(), Request(0x0005, 3, 0, B.Address(kCommandType) + 1, {0x33}));
  }
  {
    sim::PlatformOptions O;
    FailRead(O, 1, EFI_DEVICE_ERROR);
    Bench B(O);
    EXPECT_EQ(WriteCommandByte(B.I2c, 0x33), GENERIC_FAILURE);
    EXPECT_EQ(B.Requests().size(), 1u) << "only the failed information block read";
    EXPECT_TRUE(B.Received().empty());
  }
}

// --- ResetController -------------------------------------------------------

struct ResetCase {
  const char *Name;
  bool Fault;
  bool Nack;
  EFI_STATUS Expected;
  uint32_t Restarts;
};
void PrintTo(const ResetCase &C, std::ostream *Out) { *Out << C.Name; }

const ResetCase kResetCases[] = {
    {"Delivered", false, false, EFI_SUCCESS, 1},
    {"NotAcknowledged", true, true, EFI_NO_RESPONSE, 0},
    {"WriteFails", true, false, EFI_DEVICE_ERROR, 0},
};

class ResetControllerTest : public ::testing::TestWithParam<ResetCase> {};

// The reset goes out as one bare request: never a line wait or a reply read,
// since a restarting controller may never answer; the write's status is the
// result, unchanged.
TEST_P(ResetControllerTest, OneBareRequestAndItsWriteStatus) {
  const ResetCase &C = GetParam();
  sim::PlatformOptions O;
  if (C.Fault) {
    // The write after discovery's table read: 1 + N requests precede it.
    O.TransferFaults.push_back({"I2cWrite", APPLICATION_SLAVE_ADDRESS,
                                O.Controller.ObjectCount + 2, EFI_DEVICE_ERROR, C.Nack});
  }
  Bench B(O);
  B.TableRead();
  uint16_t Command = B.Address(kCommandType);

  EXPECT_EQ(ResetController(B.I2c), C.Expected);

  auto Writes = B.P.Events("I2cWrite");
  ASSERT_EQ(Writes.size(), 1u);
  EXPECT_EQ(Writes[0].Slave, APPLICATION_SLAVE_ADDRESS);
  EXPECT_EQ(Writes[0].Bytes, Request(0x0005, 3, 0, Command, {0x01}));
  EXPECT_TRUE(B.P.Events("LineRead").empty());
  EXPECT_TRUE(B.P.Events("I2cRead").empty());
  EXPECT_TRUE(B.P.PausesMs().empty());
  EXPECT_EQ(B.P.Controller().RestartCount(), C.Restarts);
}

INSTANTIATE_TEST_SUITE_P(Writes, ResetControllerTest, ::testing::ValuesIn(kResetCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

TEST(ResetControllerTableTest, AFailedTableReadSendsNoReset) {
  sim::PlatformOptions O;
  FailRead(O, 1, EFI_DEVICE_ERROR);
  Bench B(O);
  EXPECT_EQ(ResetController(B.I2c), GENERIC_FAILURE);
  EXPECT_EQ(B.Requests(), (std::vector<Bytes>{Request(0x0005, 2, 7, 0, {})}));
  EXPECT_EQ(B.P.Controller().RestartCount(), 0u);
}

// --- CommitConfiguration ---------------------------------------------------

struct CommitCase {
  const char *Name;
  std::function<void(sim::PlatformOptions &)> Setup;
  EFI_STATUS Expected;
  std::vector<uint32_t> Pauses;
  bool CommitSent;       // 0x55 reached the command byte
  size_t MessageReads;
};
void PrintTo(const CommitCase &C, std::ostream *Out) { *Out << C.Name; }

// I2C reads before the write of 0x55 is answered: the information block and
// every entry.
uint32_t ReadsBeforeCommitReply(const sim::PlatformOptions &O) {
  return 1 + O.Controller.ObjectCount + 1;
}

const CommitCase kCommitCases[] = {
    {"AnsweredAtTheFirstRead", [](sim::PlatformOptions &) {}, EFI_SUCCESS, {2000, 1000}, true, 1},
    {"EmptyQueueCosts300MsPerRead",
     [](sim::PlatformOptions &O) { O.Controller.CommitDelayUs = 2500000; }, EFI_SUCCESS,
     {2000, 300, 300, 1000}, true, 3},
    {"OtherObjectsMessagesAreReadPastWithoutPause",
     [](sim::PlatformOptions &O) { QueueMessages(O.DeviceFaults, {0x0A, 0x0B, 0x0C}); },
     EFI_SUCCESS, {2000, 1000}, true, 4},
    {"NeverAnswered_500ReadsThenGenericFailure",
     [](sim::PlatformOptions &O) { O.DeviceFaults.CommitNeverAnswers = true; }, GENERIC_FAILURE,
     Pauses({2000}, 500, {1000}), true, 500},
    {"OtherObjectsThenEmpty_EveryReadCounts",
     [](sim::PlatformOptions &O) {
       O.DeviceFaults.CommitNeverAnswers = true;
       QueueMessages(O.DeviceFaults, Bytes(16, 0x20));
     },
     GENERIC_FAILURE, Pauses({2000}, 500 - 16, {1000}), true, 500},
    {"MessageReplyWithoutBytes_TakenAsAnEmptyQueue",
     [](sim::PlatformOptions &O) {
       // Replies: the table (1 + N), the 0x55 write, then the first message
       // read, made while the commit is still busy.
       O.DeviceFaults.ShortReplyAt = 1 + O.Controller.ObjectCount + 2;
       O.DeviceFaults.ShortReplyCount = 0;
       O.Controller.CommitDelayUs = 2500000;
     },
     EFI_SUCCESS, {2000, 300, 300, 1000}, true, 3},
    {"ReportIdFF_AnEmptyQueueIsTheAnswer",
     [](sim::PlatformOptions &O) {
       // 254 report IDs ahead of the command object give it 0xFF.
       UseObjects(O, {{kMessageType, 10, 1, 0}, {0x50, 1, 254, 1}, {kCommandType, 6, 1, 1}});
       O.Controller.CommitDelayUs = 10000000;
     },
     EFI_SUCCESS, {2000, 1000}, true, 1},
    {"ReportId0_TheFirstMessageOfReportId0IsTheAnswer",
     [](sim::PlatformOptions &O) {
       UseObjects(O, {{kMessageType, 10, 1, 0}, {kCommandType, 6, 1, 0}});
       O.DeviceFaults.CommitNeverAnswers = true;
       QueueMessages(O.DeviceFaults, {0x0A, 0x00, 0x0B});
     },
     EFI_SUCCESS, {2000, 1000}, true, 2},
    {"MessageObjectOf17Bytes_Fits",
     [](sim::PlatformOptions &O) {
       UseObjects(O, {{kMessageType, 17, 1, 0}, {kCommandType, 6, 1, 1}});
     },
     EFI_SUCCESS, {2000, 1000}, true, 1},
    {"TableReadFails_NothingSent",
     [](sim::PlatformOptions &O) { FailRead(O, 1, EFI_DEVICE_ERROR); }, GENERIC_FAILURE, {1, 1},
     false, 0},
    {"CommitWriteWarning_ReturnedWithoutTheWait",
     [](sim::PlatformOptions &O) {
       FailRead(O, ReadsBeforeCommitReply(O), EFI_WARN_WRITE_FAILURE);
     },
     EFI_WARN_WRITE_FAILURE, {}, true, 0},
    {"CommitWriteFails_ReturnedWithoutTheWait",
     [](sim::PlatformOptions &O) { FailRead(O, ReadsBeforeCommitReply(O), EFI_DEVICE_ERROR); },
     EFI_DEVICE_ERROR, {}, true, 0},
    {"NoMessageObject",
     [](sim::PlatformOptions &O) { UseObjects(O, {{kCommandType, 6, 1, 1}, {0x07, 4, 1, 0}}); },
     GENERIC_FAILURE, {1}, true, 0},
    {"MessageObjectLongerThanTheBuffer_RefusedBeforeTheWait",
     [](sim::PlatformOptions &O) {
       UseObjects(O, {{kMessageType, 18, 1, 0}, {kCommandType, 6, 1, 1}});
     },
     GENERIC_FAILURE, {1}, true, 0},
    {"MessageObjectOfOneByte_RefusedBeforeTheWait",
     [](sim::PlatformOptions &O) {
       UseObjects(O, {{kMessageType, 1, 1, 0}, {kCommandType, 6, 1, 1}});
     },
     GENERIC_FAILURE, {1}, true, 0},
    {"MessageReadFails",
     [](sim::PlatformOptions &O) {
       FailRead(O, ReadsBeforeCommitReply(O) + 1, EFI_DEVICE_ERROR);
     },
     GENERIC_FAILURE, {2000, 1, 1}, true, 1},
};

class CommitConfigurationTest : public ::testing::TestWithParam<CommitCase> {};

TEST_P(CommitConfigurationTest, ExitsPausesAndMessageReads) {
  const CommitCase &C = GetParam();
  sim::PlatformOptions O;
  C.Setup(O);
  Bench B(O);  // discovery only: the commit reads the table itself

  EXPECT_EQ(CommitConfiguration(B.I2c), C.Expected);

  EXPECT_EQ(B.P.PausesMs(), C.Pauses);
  Commands Got = B.Received();
  EXPECT_EQ(Got, C.CommitSent ? (Commands{{1, 0x55}}) : Commands());
  EXPECT_EQ(B.MessageReads(), C.MessageReads);
}

INSTANTIATE_TEST_SUITE_P(Exits, CommitConfigurationTest, ::testing::ValuesIn(kCommitCases),
                         [](const auto &Info) { return std::string(Info.param.Name); });

// The report ID to wait for is the one the table gives the command object,
// taken from the fresh table read; the controller's own numbering agrees.
TEST(CommitConfigurationReportIdTest, WaitsForTheCommandObjectsReportId) {
  sim::PlatformOptions O;
  UseObjects(O, {{kMessageType, 10, 1, 0}, {0x50, 3, 2, 4}, {kCommandType, 6, 1, 1}});
  QueueMessages(O.DeviceFaults, {0x08});  // the last report ID of type 0x50
  Bench B(O);
  ASSERT_EQ(B.P.Controller().ObjectReportId(2), 9);

  EXPECT_EQ(CommitConfiguration(B.I2c), EFI_SUCCESS);
  EXPECT_EQ(B.MessageReads(), 2u);
  EXPECT_EQ(B.P.Controller().CommitCount(), 1u);
}

}  // namespace
