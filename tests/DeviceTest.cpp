// The controller model driven straight through its bus side with hand-built
// register requests, as the application would send them.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sim/device/TouchController.h"
#include "TestSupport.h"

using namespace touchsim;
using testsupport::Bytes;

namespace {

using testsupport::QueueMessages;
using testsupport::Request;

struct PackageLine {
  uint32_t Type, Instance, Size;
};

bool IsHex(const std::string &S, size_t At, size_t Digits) {
  if (At + Digits > S.size()) return false;
  for (size_t I = At; I < At + Digits; ++I)
    if (!std::isxdigit(static_cast<unsigned char>(S[I]))) return false;
  return true;
}

// The configuration lines of the shipped package: "TTTT IIII SSSS DD DD ..".
std::vector<PackageLine> ShippedConfigurationLines() {
  std::ifstream File(std::string(TOUCH_SOURCE_DIR) + "/package/TouchPackage.txt", std::ios::binary);
  std::vector<PackageLine> Lines;
  std::string Line;
  while (std::getline(File, Line)) {
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    if (!IsHex(Line, 0, 4) || Line.size() < 14 || Line[4] != ' ' || !IsHex(Line, 5, 4) || Line[9] != ' ' ||
        !IsHex(Line, 10, 4))
      continue;
    PackageLine L{static_cast<uint32_t>(std::stoul(Line.substr(0, 4), nullptr, 16)),
                  static_cast<uint32_t>(std::stoul(Line.substr(5, 4), nullptr, 16)),
                  static_cast<uint32_t>(std::stoul(Line.substr(10, 4), nullptr, 16))};
    if (Line.size() == 14 + 3 * L.Size) Lines.push_back(L);
  }
  return Lines;
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DefaultControllerConfig(&Config);
    Start();
  }
  void Start() {
    Dev = std::make_unique<TouchController>();
    Dev->PowerOn(Config, Faults);
  }
  uint16_t Out() const { return Config.OutputRegister; }

  bool Send(const Bytes &R) { return Dev->Write(kApplicationAddress, R.data(), static_cast<uint32_t>(R.size())); }
  Bytes Reply() {
    EXPECT_TRUE(Dev->InterruptAsserted());
    Bytes B(20, 0xEE);
    EXPECT_TRUE(Dev->Read(kApplicationAddress, B.data(), 20));
    EXPECT_FALSE(Dev->InterruptAsserted());
    return B;
  }
  // One read request and its reply's data bytes (as many as it claims, up to 15).
  Bytes ReadRegs(uint16_t Address, uint8_t Count) {
    Send(Request(Out(), 2, Count, Address));
    Bytes B = Reply();
    EXPECT_EQ(B[3], 0) << "reply status";
    uint8_t N = B[4] < 15 ? B[4] : 15;
    return Bytes(B.begin() + 5, B.begin() + 5 + N);
  }
  // One write request; the reply status.
  uint8_t WriteRegs(uint16_t Address, const Bytes &Data) {
    Send(Request(Out(), static_cast<uint8_t>(Data.size() + 2), 0, Address, Data));
    Bytes B = Reply();
    EXPECT_EQ(B[4], 0) << "a write reply carries no data";
    return B[3];
  }
  uint16_t AddressOf(uint8_t Type) { return Dev->ObjectAddress(Dev->FindObjectIndex(Type)); }
  uint8_t Message() { return ReadRegs(AddressOf(kMessageObjectType), 9).at(0); }
  uint16_t Command() { return AddressOf(kCommandObjectType); }

  ControllerConfig Config{};
  DeviceFaults Faults{};
  std::unique_ptr<TouchController> Dev;
};

TEST_F(DeviceTest, HidDescriptorAnnouncesTheConfiguredOutputRegister) {
  struct Case {
    uint16_t OutputRegister;
    uint8_t Forced;
    uint32_t Expected;
  } Cases[] = {{0x0005, 0, 30}, {0x1234, 0, 30}, {0x0005, 12, 12}, {0x0005, 40, 30}};
  for (const Case &C : Cases) {
    Config.OutputRegister = C.OutputRegister;
    Faults.ForcedSmbusLength = C.Forced;
    Start();
    uint8_t Buf[32] = {};
    uint32_t Len = 32;
    ASSERT_TRUE(Dev->SmbusReadBlock(0x4A, 0, Buf, &Len));
    EXPECT_EQ(Len, C.Expected);
    Bytes Head(Buf, Buf + 4);
    EXPECT_EQ(Head, (Bytes{0x1E, 0x00, 0x00, 0x01})) << "length 30, bcdVersion 1.00";
    if (C.Expected >= 14) {
      EXPECT_EQ(Buf[12], C.OutputRegister & 0xFF);
      EXPECT_EQ(Buf[13], C.OutputRegister >> 8);
    } else {
      EXPECT_EQ(Buf[12], 0) << "nothing past the forced length";
    }
    EXPECT_EQ(Dev->AnnouncedOutputRegister(), C.OutputRegister);
  }
  uint8_t Buf[32];
  uint32_t Len = 32;
  EXPECT_FALSE(Dev->SmbusReadBlock(0x4B, 0, Buf, &Len));
  EXPECT_FALSE(Dev->SmbusReadBlock(kBootloaderAddress, 0, Buf, &Len));
}

TEST_F(DeviceTest, InformationBlockAndTableDescribeTheMap) {
  Bytes Info = ReadRegs(0, 7);
  Bytes Expected(Config.InfoBlock, Config.InfoBlock + 6);
  Expected.push_back(static_cast<uint8_t>(Config.ObjectCount));
  EXPECT_EQ(Info, Expected);
  ASSERT_EQ(Config.ObjectCount, 31u);

  uint16_t Next = 7 + 6 * 31;
  uint8_t ReportIds = 0;
  uint8_t CommandReportId = 0, TransferReportId = 0;
  for (uint32_t I = 0; I < 31; ++I) {
    Bytes E = ReadRegs(static_cast<uint16_t>(7 + 6 * I), 6);
    ASSERT_EQ(E.size(), 6u);
    EXPECT_EQ(E[1] | (E[2] << 8), Next) << "entry " << I << " follows the one before";
    Next = static_cast<uint16_t>(Next + (E[3] + 1) * (E[4] + 1));
    ReportIds = static_cast<uint8_t>(ReportIds + (E[4] + 1) * E[5]);
    if (E[0] == kCommandObjectType) CommandReportId = ReportIds;
    if (E[0] == kDataTransferObjectType) TransferReportId = ReportIds;
    EXPECT_EQ(Dev->ObjectReportId(I), E[5] ? ReportIds - (E[4] + 1) * E[5] + 1 : 0);
  }
  EXPECT_EQ(CommandReportId, 1);
  EXPECT_EQ(TransferReportId, 50);

  // Every configuration line of the shipped package fits an object instance
  // of exactly its size.
  std::vector<PackageLine> Lines = ShippedConfigurationLines();
  uint32_t DataBytes = 0;
  for (const PackageLine &L : Lines) DataBytes += L.Size;
  EXPECT_EQ(Lines.size(), 53u);
  EXPECT_EQ(DataBytes, 994u);
  for (const PackageLine &L : Lines) {
    uint32_t I = Dev->FindObjectIndex(static_cast<uint8_t>(L.Type));
    ASSERT_LT(I, Dev->ObjectCount()) << std::hex << L.Type;
    EXPECT_EQ(Dev->Object(I).Size, L.Size) << std::hex << L.Type;
    EXPECT_LT(L.Instance, Dev->Object(I).Instances) << std::hex << L.Type;
    uint32_t SameType = 0;
    for (const PackageLine &Other : Lines) SameType += Other.Type == L.Type;
    EXPECT_EQ(SameType, Dev->Object(I).Instances) << "one line per instance, type " << std::hex << L.Type;
  }
  struct Own { uint8_t Type; uint16_t Size; uint8_t ReportIds; } OwnObjects[] = {
      {5, 10, 0}, {6, 6, 1}, {38, 8, 0}, {43, 4, 0}};
  for (const Own &O : OwnObjects) {
    uint32_t I = Dev->FindObjectIndex(O.Type);
    ASSERT_LT(I, Dev->ObjectCount());
    EXPECT_EQ(Dev->Object(I).Size, O.Size);
    EXPECT_EQ(Dev->Object(I).ReportIdsPerInstance, O.ReportIds);
  }
  Bytes Version = ReadRegs(AddressOf(kVersionObjectType), 2);
  EXPECT_EQ(Version, (Bytes{Config.VersionBytes[0], Config.VersionBytes[1]}));
}

TEST_F(DeviceTest, FirstObjectAddressMovesTheObjects) {
  Config.FirstObjectAddress = 0x0400;
  Start();
  Bytes E = ReadRegs(7, 6);
  EXPECT_EQ(E[1] | (E[2] << 8), 0x0400);
  EXPECT_EQ(ReadRegs(0x0300, 4), Bytes(4, 0)) << "the gap reads as zeros";
  EXPECT_EQ(WriteRegs(0x0300, {1}), kReplyStatusRefused) << "nothing to write in the gap";
}

TEST_F(DeviceTest, WritesLandAndReadBack) {
  const uint16_t T9 = AddressOf(0x09);
  Bytes Twelve = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(WriteRegs(T9, Twelve), 0);
  EXPECT_EQ(WriteRegs(T9 + 12, {0xAB}), 0);
  Bytes Back = ReadRegs(T9, 15);
  ASSERT_EQ(Back.size(), 15u);
  EXPECT_EQ(Bytes(Back.begin(), Back.begin() + 13), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0xAB}));
  EXPECT_EQ(Back[13], Dev->Registers()[T9 + 13]) << "untouched bytes keep their factory contents";
  EXPECT_NE(Back[13], 0);
  // Instance 1 of the touch object starts one object size further on.
  EXPECT_EQ(WriteRegs(T9 + 168, {0x42}), 0);
  EXPECT_EQ(Dev->Registers()[T9 + 168], 0x42);
  EXPECT_NE(Dev->StoredRegisters()[T9], 1) << "nothing stored before a commit";
  EXPECT_EQ(Dev->RequestsDecoded(), 4u);
  EXPECT_EQ(Dev->RequestsIgnored(), 0u);
}

TEST_F(DeviceTest, AddressesWrapAtSixteenBits) {
  Config.ObjectCount = 1;
  Config.Objects[0] = ObjectDefinition{0x07, 16, 1, 0};
  Config.FirstObjectAddress = 0xFFF0;
  Start();
  EXPECT_EQ(WriteRegs(0xFFF4, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}), 0);
  Bytes Read = ReadRegs(0xFFF8, 15);
  Bytes Expected(8, 9);
  for (int I = 0; I < 6; ++I) Expected.push_back(Config.InfoBlock[I]);
  Expected.push_back(1);
  EXPECT_EQ(Read, Expected) << "the read runs on into the information block";
  EXPECT_EQ(WriteRegs(0xFFFE, {1, 2, 3}), kReplyStatusRefused);
  EXPECT_EQ(Dev->Registers()[0xFFFE], 9);
}

TEST_F(DeviceTest, MalformedRequestsAreNotCarriedOutNorAnswered) {
  const uint16_t T7 = AddressOf(0x07);
  Bytes Good = Request(Out(), 3, 0, T7, {0x77});
  struct Case {
    const char *What;
    size_t Index;
    uint8_t Value;
    int Length;
  } Cases[] = {
      {"output register low byte", 0, 0x06, 22}, {"output register high byte", 1, 0x01, 22},
      {"length field", 2, 0x16, 22},             {"length field high byte", 3, 0x01, 22},
      {"report ID", 4, 0x05, 22},                 {"command", 5, 0x52, 22},
      {"write count 1", 6, 1, 22},                {"write count 15", 6, 15, 22},
      {"read count 16", 7, 16, 22},               {"write and read at once", 7, 1, 22},
      {"short transfer", 0, 0x05, 21},            {"long transfer", 0, 0x05, 23},
  };
  uint32_t Ignored = 0;
  for (const Case &C : Cases) {
    Bytes R = Good;
    R[C.Index] = C.Value;
    R.resize(C.Length, 0);
    EXPECT_TRUE(Send(R)) << C.What << ": the address is still acknowledged";
    EXPECT_FALSE(Dev->InterruptAsserted()) << C.What;
    EXPECT_EQ(Dev->RequestsIgnored(), ++Ignored) << C.What;
    EXPECT_NE(Dev->Registers()[T7], 0x77) << C.What;
  }
  EXPECT_EQ(Dev->RequestsDecoded(), 0u);
  EXPECT_EQ(Dev->CommandCount(), 0u);
  // A request for the wrong output register leaves an unread reply alone.
  Send(Request(Out(), 2, 1, 0));
  Send(Request(0x0006, 2, 2, 0));
  Bytes B = Reply();
  EXPECT_EQ(B[4], 1);
  EXPECT_EQ(Dev->RepliesLost(), 0u);
}

TEST_F(DeviceTest, RepliesCarryStatusCountAndData) {
  Send(Request(Out(), 2, 7, 0));
  Bytes B = Reply();
  Bytes Expected = {0x14, 0x00, 0x06, 0x00, 7};
  for (int I = 0; I < 6; ++I) Expected.push_back(Config.InfoBlock[I]);
  Expected.push_back(31);
  Expected.resize(20, 0);
  EXPECT_EQ(B, Expected);
  // Nothing pending: an empty input report, still acknowledged.
  Bytes Empty(20, 0xEE);
  EXPECT_TRUE(Dev->Read(kApplicationAddress, Empty.data(), 20));
  EXPECT_EQ(Empty, Bytes(20, 0));
  // A later request replaces a reply nobody read.
  Send(Request(Out(), 2, 1, 0));
  Send(Request(Out(), 2, 2, 0));
  EXPECT_EQ(Reply()[4], 2);
  EXPECT_EQ(Dev->RepliesLost(), 1u);
  // Nothing answers at the bootloader's address in application mode.
  uint8_t One = 0;
  EXPECT_FALSE(Dev->Read(kBootloaderAddress, &One, 1));
  EXPECT_FALSE(Dev->Write(kBootloaderAddress, &One, 1));
  EXPECT_FALSE(Dev->InBootloader());
}

TEST_F(DeviceTest, StrayBytesPastTheDataAreNoticed) {
  Bytes R = Request(Out(), 3, 0, AddressOf(0x07), {0x11});
  R[11] = 0x99;
  Send(R);
  EXPECT_EQ(Reply()[3], 0) << "carried out all the same";
  EXPECT_EQ(Dev->RequestsWithStrayBytes(), 1u);
  R = Request(Out(), 2, 4, 0);
  R[10] = 1;
  Send(R);
  Reply();
  EXPECT_EQ(Dev->RequestsWithStrayBytes(), 2u);
}

TEST_F(DeviceTest, ReadOnlyAndUnmappedBytesRefuseWrites) {
  const ObjectDefinition &Last = Dev->Object(Dev->ObjectCount() - 1);
  const uint16_t End = static_cast<uint16_t>(Dev->ObjectAddress(Dev->ObjectCount() - 1) + Last.Size * Last.Instances);
  struct Case {
    const char *What;
    uint16_t Address;
    uint8_t Count;
  } Cases[] = {
      {"information block", 0, 3},
      {"object table", 20, 2},
      {"version object", AddressOf(kVersionObjectType), 8},
      {"message object", AddressOf(kMessageObjectType), 10},
      {"past the last object", End, 1},
      {"runs past the last object", static_cast<uint16_t>(End - 2), 4},
  };
  uint32_t Refused = 0;
  for (const Case &C : Cases) {
    Bytes Before(Dev->Registers() + C.Address, Dev->Registers() + C.Address + C.Count);
    EXPECT_EQ(WriteRegs(C.Address, Bytes(C.Count, 0)), kReplyStatusRefused) << C.What;
    EXPECT_EQ(Bytes(Dev->Registers() + C.Address, Dev->Registers() + C.Address + C.Count), Before) << C.What;
    EXPECT_EQ(Dev->RefusedWrites(), ++Refused);
  }
  EXPECT_EQ(ReadRegs(AddressOf(kVersionObjectType), 2), (Bytes{Config.VersionBytes[0], Config.VersionBytes[1]}));
}

TEST_F(DeviceTest, MessageQueueHandsOutMessagesInOrder) {
  EXPECT_EQ(Message(), kEmptyMessage);
  QueueMessages(Faults, {0x10, 0x11, 0x12});
  Start();
  const uint16_t M = AddressOf(kMessageObjectType);
  EXPECT_EQ(ReadRegs(M + 1, 2).size(), 2u);
  EXPECT_EQ(Dev->QueuedMessages(), 3u) << "only a read from the object's start takes a message";
  EXPECT_EQ(Message(), 0x10);
  EXPECT_EQ(Message(), 0x11);
  EXPECT_EQ(Message(), 0x12);
  EXPECT_EQ(Message(), kEmptyMessage);
  EXPECT_EQ(Message(), kEmptyMessage);
}

TEST_F(DeviceTest, FullQueueDropsTheOldestMessage) {
  Config.CommitDelayUs = 0;
  for (uint8_t I = 0; I < 16; ++I) Faults.ExtraMessages[I] = static_cast<uint8_t>(0x20 + I);
  Faults.ExtraMessageCount = 16;
  Start();
  EXPECT_EQ(WriteRegs(Command() + 1, {kCommitValue}), 0);
  EXPECT_EQ(Dev->MessagesDropped(), 1u);
  EXPECT_EQ(Message(), 0x21);
  for (int I = 0; I < 14; ++I) Message();
  EXPECT_EQ(Message(), Dev->ObjectReportId(Dev->FindObjectIndex(kCommandObjectType)));
  EXPECT_EQ(Message(), kEmptyMessage);
}

TEST_F(DeviceTest, CommitStoresTheObjectsAndReportsAfterItsDelay) {
  const uint16_t T7 = AddressOf(0x07);
  const uint16_t T43 = AddressOf(0x2B);
  EXPECT_EQ(WriteRegs(T7, {0, 0, 0, 0}), 0);
  EXPECT_EQ(WriteRegs(T43, {0x80}), 0);
  EXPECT_EQ(WriteRegs(Command() + 1, {kCommitValue}), 0);
  EXPECT_TRUE(Dev->CommitBusy());
  EXPECT_EQ(Dev->CommitCount(), 1u);
  EXPECT_EQ(Bytes(Dev->StoredRegisters() + T7, Dev->StoredRegisters() + T7 + 4), Bytes(4, 0));
  EXPECT_EQ(Dev->StoredRegisters()[T43], 0x80);
  EXPECT_EQ(Message(), kEmptyMessage) << "busy";
  Dev->AdvanceTime(Config.CommitDelayUs - 1);
  EXPECT_EQ(Message(), kEmptyMessage) << "still busy";
  Dev->AdvanceTime(1);
  Bytes M = ReadRegs(AddressOf(kMessageObjectType), 9);
  EXPECT_EQ(M[0], 1) << "the command object's report ID";
  EXPECT_EQ(M[1], 0) << "status";
  EXPECT_EQ(Message(), kEmptyMessage) << "one message per commit";
  EXPECT_EQ(ReadRegs(Command(), 2), (Bytes{0, 0})) << "the command byte reads back idle";
  // The checksum in the message follows the stored contents.
  EXPECT_EQ(WriteRegs(T7, {1}), 0);
  EXPECT_EQ(WriteRegs(Command() + 1, {kCommitValue}), 0);
  Dev->AdvanceTime(Config.CommitDelayUs);
  Bytes M2 = ReadRegs(AddressOf(kMessageObjectType), 9);
  EXPECT_EQ(M2[0], 1);
  EXPECT_NE(Bytes(M2.begin() + 2, M2.begin() + 5), Bytes(M.begin() + 2, M.begin() + 5));
}

TEST_F(DeviceTest, RestartReloadsTheStoredConfiguration) {
  const uint16_t T8 = AddressOf(0x08);
  const uint16_t T7 = AddressOf(0x07);
  const uint8_t FactoryT8 = Dev->Registers()[T8];
  EXPECT_EQ(WriteRegs(T7, {0xC1}), 0);
  EXPECT_EQ(WriteRegs(Command() + 1, {kCommitValue}), 0);
  EXPECT_EQ(WriteRegs(T8, {0xD2}), 0);  // after the commit: not stored
  Faults.ExtraMessageCount = 0;
  EXPECT_EQ(WriteRegs(Command(), {kResetValue}), 0);
  EXPECT_EQ(Dev->RestartCount(), 1u);
  EXPECT_EQ(Dev->Registers()[T7], 0xC1);
  EXPECT_EQ(Dev->Registers()[T8], FactoryT8);
  EXPECT_FALSE(Dev->CommitBusy());
  Dev->AdvanceTime(Config.CommitDelayUs);
  EXPECT_EQ(Message(), kEmptyMessage) << "the commit's message went with the restart";
  EXPECT_EQ(ReadRegs(AddressOf(kVersionObjectType), 2), (Bytes{Config.VersionBytes[0], Config.VersionBytes[1]}));
}

TEST_F(DeviceTest, RestartDropsQueuedMessages) {
  QueueMessages(Faults, {0x30});
  Start();
  // The request that restarts is answered, as the application's own reset
  // does not read the reply but a register write would.
  Send(Request(Out(), 3, 0, Command(), {kResetValue}));
  EXPECT_TRUE(Dev->InterruptAsserted());
  EXPECT_EQ(Dev->QueuedMessages(), 0u);
  Reply();
  EXPECT_EQ(Message(), kEmptyMessage);
}

TEST_F(DeviceTest, EveryCommandObjectByteIsRecordedInOrder) {
  const uint16_t C = Command();
  WriteRegs(C + 1, {kPrepareValue});
  WriteRegs(C, {0, 0, 0, 0, 0, 0});
  WriteRegs(C, {kBootloaderValue});
  WriteRegs(static_cast<uint16_t>(C + 5), {0x44, 7});  // runs on into the next object
  std::vector<std::pair<uint16_t, uint8_t>> Expected = {{1, 0x33}, {0, 0}, {1, 0}, {2, 0}, {3, 0},
                                                        {4, 0},    {5, 0}, {0, 0xA5}, {5, 0x44}};
  ASSERT_EQ(Dev->CommandCount(), Expected.size());
  for (uint32_t I = 0; I < Expected.size(); ++I) {
    EXPECT_EQ(Dev->Command(I).Offset, Expected[I].first) << I;
    EXPECT_EQ(Dev->Command(I).Value, Expected[I].second) << I;
  }
  EXPECT_EQ(Dev->BootloaderRequests(), 1u);
  EXPECT_EQ(Dev->CommitCount(), 0u);
  EXPECT_EQ(Dev->RestartCount(), 0u);
}

TEST_F(DeviceTest, ReplyFaultsActOnTheNumberedReply) {
  const uint16_t T9 = AddressOf(0x09);
  const Bytes Ahead(Dev->Registers() + T9, Dev->Registers() + T9 + 15);
  struct Case {
    const char *What;
    DeviceFaults F;
    uint8_t Status[3];
    uint8_t Count[3];
  };
  DeviceFaults Status{}, Short{}, From{}, Over{};
  Status.ReplyStatusAt = 2;
  Status.ReplyStatusValue = 0x05;
  Short.ShortReplyAt = 2;
  Short.ShortReplyCount = 4;
  From.ShortRepliesFrom = 2;
  From.ShortReplyCount = 10;
  Over.OverlongReplyAt = 3;
  Over.OverlongReplyCount = 40;
  const Case Cases[] = {
      {"status at 2", Status, {0, 5, 0}, {15, 0, 15}},
      {"short at 2", Short, {0, 0, 0}, {15, 4, 15}},
      {"short from 2", From, {0, 0, 0}, {15, 10, 10}},
      {"overlong at 3", Over, {0, 0, 0}, {15, 15, 40}},
  };
  for (const Case &C : Cases) {
    Faults = C.F;
    Start();
    for (int K = 0; K < 3; ++K) {
      Send(Request(Out(), 2, 15, T9));
      Bytes B = Reply();
      EXPECT_EQ(B[3], C.Status[K]) << C.What << " reply " << K + 1;
      EXPECT_EQ(B[4], C.Count[K]) << C.What << " reply " << K + 1;
      uint8_t Carried = C.Status[K] ? 0 : (C.Count[K] < 15 ? C.Count[K] : 15);
      Bytes Data(B.begin() + 5, B.end());
      Bytes Want(Ahead.begin(), Ahead.begin() + Carried);
      Want.resize(15, 0);
      EXPECT_EQ(Data, Want) << C.What << " reply " << K + 1;
    }
  }
  // A write whose reply fails does not land.
  Faults = Status;
  Start();
  WriteRegs(T9, {1});
  EXPECT_EQ(WriteRegs(T9, {2}), 5);
  EXPECT_EQ(Dev->Registers()[T9], 1);
}

TEST_F(DeviceTest, CommitMessageFaults) {
  Faults.CommitNeverAnswers = true;
  Start();
  WriteRegs(Command() + 1, {kCommitValue});
  Dev->AdvanceTime(10 * Config.CommitDelayUs);
  EXPECT_EQ(Dev->CommitCount(), 1u);
  EXPECT_FALSE(Dev->CommitBusy());
  EXPECT_EQ(Message(), kEmptyMessage);

  Faults = DeviceFaults{};
  QueueMessages(Faults, {0x33, 0x34});
  Faults.ExtraMessagesBeforeCommit = true;
  Start();
  EXPECT_EQ(Message(), kEmptyMessage);
  WriteRegs(Command() + 1, {kCommitValue});
  Dev->AdvanceTime(Config.CommitDelayUs);
  EXPECT_EQ(Message(), 0x33);
  EXPECT_EQ(Message(), 0x34);
  EXPECT_EQ(Message(), 1);
}

}  // namespace

namespace {

TEST_F(DeviceTest, StartingInTheBootloaderSilencesApplicationMode) {
  Config.StartInBootloader = true;
  Start();
  EXPECT_TRUE(Dev->InBootloader());
  uint8_t Buf[32] = {};
  uint32_t Len = 32;
  EXPECT_FALSE(Dev->SmbusReadBlock(kApplicationAddress, 0, Buf, &Len));
  EXPECT_FALSE(Send(Request(Out(), 2, 7, 0)));
  EXPECT_FALSE(Dev->Read(kApplicationAddress, Buf, 20));
  EXPECT_FALSE(Dev->InterruptAsserted());
  EXPECT_EQ(Dev->RequestsDecoded() + Dev->RequestsIgnored(), 0u);
  EXPECT_TRUE(Dev->Read(kBootloaderAddress, Buf, 3));
  EXPECT_TRUE(Dev->Write(kBootloaderAddress, Buf, 2));
}

}  // namespace
