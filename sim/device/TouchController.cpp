#include "sim/device/TouchController.h"

namespace touchsim {
namespace {

constexpr uint32_t kNoObject = 0xFFFFFFFFu;

void CopyBytes(uint8_t *To, const uint8_t *From, uint32_t Count) {
  for (uint32_t I = 0; I < Count; ++I) To[I] = From[I];
}

void FillBytes(uint8_t *To, uint8_t Value, uint32_t Count) {
  for (uint32_t I = 0; I < Count; ++I) To[I] = Value;
}

uint32_t ClampCount(uint32_t Value) {
  if (Value < 1) return 1;
  if (Value > 256) return 256;
  return Value;
}

// Factory contents of configuration objects: never zero, different per
// object, instance and offset, so that clearing and writing both show.
uint8_t FactoryByte(uint8_t Type, uint32_t Instance, uint32_t Offset) {
  uint8_t Value = static_cast<uint8_t>(Type * 7u + Offset * 3u + Instance * 29u + 1u);
  return Value == 0 ? 0x5A : Value;
}

// The default object list: sorted by type, as the controller's table is.
// Report IDs go to the objects that post messages of their own.
constexpr ObjectDefinition kDefaultObjects[] = {
    {0x05, 10, 1, 0},   // message object
    {0x06, 6, 1, 1},    // command object
    {0x07, 4, 1, 0},
    {0x08, 10, 1, 0},
    {0x09, 168, 2, 10},
    {0x0F, 11, 1, 1},
    {0x12, 2, 1, 0},
    {0x13, 6, 1, 1},
    {0x18, 19, 1, 1},
    {0x19, 15, 1, 1},
    {0x1B, 7, 1, 1},
    {0x26, 8, 1, 0},    // version object
    {0x28, 5, 1, 0},
    {0x2A, 13, 1, 1},
    {0x2B, 4, 1, 0},
    {0x2E, 11, 1, 1},
    {0x2F, 22, 1, 0},
    {0x38, 36, 1, 0},
    {0x3D, 5, 12, 1},
    {0x3E, 74, 1, 1},
    {0x3F, 9, 4, 1},
    {0x41, 20, 3, 1},
    {0x42, 4, 1, 1},
    {0x44, 73, 1, 1},   // data transfer object
    {0x46, 10, 10, 1},
    {0x47, 2, 1, 0},
    {0x48, 79, 1, 1},
    {0x4C, 2, 1, 0},
    {0x4D, 2, 1, 0},
    {0x4E, 2, 1, 0},
    {0x4F, 3, 1, 0},
};

}  // namespace

void DefaultControllerConfig(ControllerConfig *Config) {
  *Config = ControllerConfig{};
  Config->OutputRegister = 0x0005;
  // Family, variant, version 0x13, build 0x00, matrix 32 x 52.
  const uint8_t Info[6] = {0xA6, 0x14, 0x13, 0x00, 0x20, 0x34};
  CopyBytes(Config->InfoBlock, Info, 6);
  Config->VersionBytes[0] = 0x01;
  Config->VersionBytes[1] = 0x0A;
  uint32_t Count = sizeof kDefaultObjects / sizeof kDefaultObjects[0];
  for (uint32_t I = 0; I < Count; ++I) Config->Objects[I] = kDefaultObjects[I];
  Config->ObjectCount = Count;
  Config->FirstObjectAddress = 0;
  Config->CommitDelayUs = 100000;
  Config->StartInBootloader = false;
  Config->VendorId = 0x2F1A;
  Config->ProductId = 0x4A10;
  Config->HidVersionId = 0x0100;
}

// --- Power-on and layout ---

void TouchController::PowerOn(const ControllerConfig &Config, const DeviceFaults &Faults) {
  Config_ = Config;
  Faults_ = Faults;
  if (Config_.ObjectCount > kMaxObjects) Config_.ObjectCount = kMaxObjects;
  if (Faults_.ExtraMessageCount > 16) Faults_.ExtraMessageCount = 16;
  for (uint32_t I = 0; I < Config_.ObjectCount; ++I) {
    Config_.Objects[I].Size = static_cast<uint16_t>(ClampCount(Config_.Objects[I].Size));
    Config_.Objects[I].Instances = static_cast<uint16_t>(ClampCount(Config_.Objects[I].Instances));
  }
  Bootloader_ = Config_.StartInBootloader;

  FillBytes(Registers_, 0, kRegisterSpace);
  FillBytes(Reply_, 0, kReplyLength);
  ReplyPending_ = false;
  RepliesMade_ = RepliesLost_ = 0;
  RequestsDecoded_ = RequestsIgnored_ = RefusedWrites_ = StrayByteRequests_ = 0;
  CommandCount_ = 0;
  NoCommand_ = CommandRecord{};
  BootloaderRequests_ = 0;
  BootloaderWrites_ = 0;
  QueueHead_ = QueueCount_ = MessagesDropped_ = 0;
  NowUs_ = 0;
  CommitBusy_ = false;
  CommitDueUs_ = 0;
  CommitCount_ = RestartCount_ = 0;

  LayOut();
  FillObjectsAtPowerOn();
  SetVolatileObjects();
  CopyBytes(Stored_, Registers_, kRegisterSpace);
  if (!Faults_.ExtraMessagesBeforeCommit) QueueExtraMessages();
}

// The information block and the table describe the map; they are written
// once here and are read-only from the bus.
void TouchController::LayOut() {
  ObjectCount_ = Config_.ObjectCount;
  TableEnd_ = kInformationBlockLength + kObjectEntryLength * ObjectCount_;
  CopyBytes(Registers_, Config_.InfoBlock, 6);
  Registers_[6] = static_cast<uint8_t>(ObjectCount_);

  uint16_t Next = Config_.FirstObjectAddress != 0 ? Config_.FirstObjectAddress
                                                  : static_cast<uint16_t>(TableEnd_);
  uint8_t ReportCounter = 0;
  MessageIndex_ = CommandIndex_ = VersionIndex_ = kNoObject;
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    const ObjectDefinition &Object = Config_.Objects[I];
    ObjectStart_[I] = Next;
    uint32_t Ids = static_cast<uint32_t>(Object.Instances) * Object.ReportIdsPerInstance;
    ReportId_[I] = Ids != 0 ? static_cast<uint8_t>(ReportCounter + 1) : 0;
    ReportCounter = static_cast<uint8_t>(ReportCounter + Ids);
    Next = static_cast<uint16_t>(Next + static_cast<uint32_t>(Object.Size) * Object.Instances);

    uint8_t *Entry = Registers_ + kInformationBlockLength + kObjectEntryLength * I;
    Entry[0] = Object.Type;
    Entry[1] = static_cast<uint8_t>(ObjectStart_[I] & 0xFF);
    Entry[2] = static_cast<uint8_t>(ObjectStart_[I] >> 8);
    Entry[3] = static_cast<uint8_t>(Object.Size - 1);
    Entry[4] = static_cast<uint8_t>(Object.Instances - 1);
    Entry[5] = Object.ReportIdsPerInstance;

    if (Object.Type == kMessageObjectType && MessageIndex_ == kNoObject) MessageIndex_ = I;
    if (Object.Type == kCommandObjectType && CommandIndex_ == kNoObject) CommandIndex_ = I;
    if (Object.Type == kVersionObjectType && VersionIndex_ == kNoObject) VersionIndex_ = I;
  }
}

void TouchController::FillObjectsAtPowerOn() {
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    const ObjectDefinition &Object = Config_.Objects[I];
    for (uint32_t N = 0; N < Object.Instances; ++N) {
      for (uint32_t K = 0; K < Object.Size; ++K) {
        uint16_t Address = static_cast<uint16_t>(ObjectStart_[I] + N * Object.Size + K);
        if (Address < TableEnd_) continue;  // an object laid over the table never hides it
        Registers_[Address] = FactoryByte(Object.Type, N, K);
      }
    }
  }
}

// The objects a restart sets afresh rather than reloading: the command
// object reads back zeros once idle, the message object holds no message, and
// the version object carries the running firmware's version.
void TouchController::SetVolatileObjects() {
  if (CommandIndex_ != kNoObject) {
    const ObjectDefinition &Object = Config_.Objects[CommandIndex_];
    for (uint32_t K = 0; K < Object.Size; ++K)
      Registers_[static_cast<uint16_t>(ObjectStart_[CommandIndex_] + K)] = 0;
  }
  if (MessageIndex_ != kNoObject) {
    const ObjectDefinition &Object = Config_.Objects[MessageIndex_];
    for (uint32_t K = 0; K < Object.Size; ++K)
      Registers_[static_cast<uint16_t>(ObjectStart_[MessageIndex_] + K)] = K == 0 ? kEmptyMessage : 0;
  }
  if (VersionIndex_ != kNoObject) {
    const ObjectDefinition &Object = Config_.Objects[VersionIndex_];
    for (uint32_t K = 0; K < Object.Size && K < 2; ++K)
      Registers_[static_cast<uint16_t>(ObjectStart_[VersionIndex_] + K)] = Config_.VersionBytes[K];
  }
}

TouchController::Location TouchController::Locate(uint16_t Address) const {
  if (Address < TableEnd_) return Location{kTable, 0, Address};
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    const ObjectDefinition &Object = Config_.Objects[I];
    uint32_t Offset = static_cast<uint16_t>(Address - ObjectStart_[I]);
    if (Offset < static_cast<uint32_t>(Object.Size) * Object.Instances) return Location{kObjectBytes, I, Offset};
  }
  return Location{kUnmapped, 0, 0};
}

bool TouchController::Writable(uint16_t Address) const {
  Location Where = Locate(Address);
  if (Where.Kind != kObjectBytes) return false;
  return Where.Object != MessageIndex_ && Where.Object != VersionIndex_;
}

// --- HID descriptor ---

bool TouchController::SmbusReadBlock(uint8_t Slave, uint8_t Command, uint8_t *Buffer,
                                     uint32_t *Length) {
  if (Slave != kApplicationAddress || Bootloader_ || Length == nullptr) return false;
  if (Command != 0) {
    // Only the descriptor lives behind the SMBus command byte.
    *Length = 0;
    return true;
  }
  const uint16_t Out = Config_.OutputRegister;
  const uint16_t Words[13] = {
      static_cast<uint16_t>(kHidDescriptorLength),
      0x0100,                                   // bcdVersion
      0x0218,                                   // report descriptor length
      0x0002,                                   // report descriptor register
      0x0003,                                   // input register
      static_cast<uint16_t>(kReplyLength),      // longest input report
      Out,                                      // output register
      static_cast<uint16_t>(kReplyLength),      // longest output report
      static_cast<uint16_t>(Out + 1),           // command register
      static_cast<uint16_t>(Out + 2),           // data register
      Config_.VendorId,
      Config_.ProductId,
      Config_.HidVersionId,
  };
  uint8_t Descriptor[kHidDescriptorLength] = {};
  for (uint32_t I = 0; I < 13; ++I) {
    Descriptor[2 * I] = static_cast<uint8_t>(Words[I] & 0xFF);
    Descriptor[2 * I + 1] = static_cast<uint8_t>(Words[I] >> 8);
  }
  uint32_t Count = kHidDescriptorLength;
  if (Faults_.ForcedSmbusLength != 0 && Faults_.ForcedSmbusLength < Count) Count = Faults_.ForcedSmbusLength;
  if (Buffer == nullptr) Count = 0;
  if (Count > *Length) Count = *Length;
  CopyBytes(Buffer, Descriptor, Count);
  *Length = Count;
  return true;
}

// --- Register requests and replies ---

bool TouchController::Write(uint8_t Slave, const uint8_t *Data, uint32_t Length) {
  if (Bootloader_) return BootloaderWrite(Slave, Data, Length);
  if (Slave != kApplicationAddress) return false;
  if (Data == nullptr || Length != kRequestLength) {
    ++RequestsIgnored_;
    return true;
  }
  HandleRequest(Data);
  return true;
}

bool TouchController::Read(uint8_t Slave, uint8_t *Data, uint32_t Length) {
  if (Bootloader_) return BootloaderRead(Slave, Data, Length);
  if (Slave != kApplicationAddress) return false;
  if (Data == nullptr || Length == 0) return true;
  // With nothing pending the controller sends an empty input report:
  // a length field of 0 and nothing behind it.
  for (uint32_t I = 0; I < Length; ++I) Data[I] = ReplyPending_ && I < kReplyLength ? Reply_[I] : 0;
  ReplyPending_ = false;
  return true;
}

bool TouchController::InterruptAsserted() const { return !Bootloader_ && ReplyPending_; }

void TouchController::HandleRequest(const uint8_t *Request) {
  const uint16_t Out = Config_.OutputRegister;
  const uint8_t WriteCount = Request[6];
  const uint8_t ReadCount = Request[7];
  bool WellFormed = Request[0] == (Out & 0xFF) && Request[1] == (Out >> 8) && Request[2] == 0x14 &&
                    Request[3] == 0x00 && Request[4] == kRequestReportId &&
                    Request[5] == kRegisterAccessCommand && WriteCount >= 2 &&
                    WriteCount <= 2 + kMaxWriteData && ReadCount <= kMaxReplyData &&
                    !(WriteCount > 2 && ReadCount > 0);
  if (!WellFormed) {
    ++RequestsIgnored_;
    return;
  }
  ++RequestsDecoded_;
  const uint16_t Address = static_cast<uint16_t>(Request[8] | (Request[9] << 8));
  const uint8_t DataCount = static_cast<uint8_t>(WriteCount - 2);
  for (uint32_t I = 10u + DataCount; I < kRequestLength; ++I) {
    if (Request[I] != 0) {
      ++StrayByteRequests_;
      break;
    }
  }

  const uint32_t Number = RepliesMade_ + 1;
  if (Faults_.ReplyStatusAt != 0 && Number == Faults_.ReplyStatusAt && Faults_.ReplyStatusValue != 0) {
    MakeReply(Faults_.ReplyStatusValue, nullptr, 0, Address);
    return;
  }
  if (DataCount != 0 || ReadCount == 0) {
    bool Landed = CarryOutWrite(Address, Request + 10, DataCount);
    MakeReply(Landed ? 0 : kReplyStatusRefused, nullptr, 0, Address);
    return;
  }
  uint8_t Data[kMaxReplyData];
  CarryOutRead(Address, ReadCount, Data);
  MakeReply(0, Data, ReadCount, Address);
}

// Reply count faults act on what the reply claims; the data bytes past a cut
// count are zero, those past the read count of an overlong reply are the
// registers that follow.
void TouchController::MakeReply(uint8_t Status, const uint8_t *Data, uint8_t Count, uint16_t Address) {
  const uint32_t Number = ++RepliesMade_;
  if (ReplyPending_) ++RepliesLost_;
  FillBytes(Reply_, 0, kReplyLength);
  Reply_[0] = static_cast<uint8_t>(kReplyLength);
  Reply_[1] = 0;
  Reply_[2] = kReplyReportId;
  Reply_[3] = Status;
  uint8_t Claimed = Count;
  bool Short = (Faults_.ShortReplyAt != 0 && Number == Faults_.ShortReplyAt) ||
               (Faults_.ShortRepliesFrom != 0 && Number >= Faults_.ShortRepliesFrom);
  if (Short && Faults_.ShortReplyCount < Claimed) Claimed = Faults_.ShortReplyCount;
  uint8_t Carried = Claimed;
  if (Data != nullptr) CopyBytes(Reply_ + 5, Data, Carried);
  if (Faults_.OverlongReplyAt != 0 && Number == Faults_.OverlongReplyAt) {
    Claimed = Faults_.OverlongReplyCount;
    for (uint32_t I = Carried; I < kMaxReplyData; ++I)
      Reply_[5 + I] = Registers_[static_cast<uint16_t>(Address + I)];
  }
  Reply_[4] = Claimed;
  ReplyPending_ = true;
}

void TouchController::CarryOutRead(uint16_t Address, uint8_t Count, uint8_t *Data) {
  if (MessageIndex_ != kNoObject && Address == ObjectStart_[MessageIndex_]) LoadHeadMessage();
  for (uint32_t I = 0; I < Count; ++I) Data[I] = Registers_[static_cast<uint16_t>(Address + I)];
}

bool TouchController::CarryOutWrite(uint16_t Address, const uint8_t *Data, uint8_t Count) {
  for (uint32_t I = 0; I < Count; ++I) {
    if (!Writable(static_cast<uint16_t>(Address + I))) {
      ++RefusedWrites_;
      return false;
    }
  }
  for (uint32_t I = 0; I < Count; ++I) {
    const uint16_t At = static_cast<uint16_t>(Address + I);
    Registers_[At] = Data[I];
    if (CommandIndex_ != kNoObject) {
      const uint32_t Offset = static_cast<uint16_t>(At - ObjectStart_[CommandIndex_]);
      if (Offset < Config_.Objects[CommandIndex_].Size) CommandByteWritten(static_cast<uint16_t>(Offset), Data[I]);
    }
  }
  return true;
}

// --- The command object ---

void TouchController::CommandByteWritten(uint16_t Offset, uint8_t Value) {
  if (CommandCount_ < kMaxCommandRecords) Commands_[CommandCount_] = CommandRecord{Offset, Value};
  ++CommandCount_;
  const uint16_t Base = ObjectStart_[CommandIndex_];
  if (Offset == kResetOffset && Value == kResetValue) {
    Restart();
  } else if (Offset == kResetOffset && Value == kBootloaderValue) {
    // Restart into the bootloader: recorded; the bootloader model takes over
    // here once it exists.
    ++BootloaderRequests_;
    Registers_[Base] = 0;
  } else if (Offset == kBackupOffset && Value == kCommitValue) {
    Registers_[static_cast<uint16_t>(Base + kBackupOffset)] = 0;
    Commit();
  } else if (Offset == kBackupOffset && Value == kPrepareValue) {
    // Accepted: the controller readies itself for a new configuration;
    // nothing visible changes.
    Registers_[static_cast<uint16_t>(Base + kBackupOffset)] = 0;
  }
}

// A restart reloads the live objects from the stored configuration and
// forgets everything in flight: queued messages and a commit not yet
// reported. The reply to the request that asked for it stays readable.
void TouchController::Restart() {
  ++RestartCount_;
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    const ObjectDefinition &Object = Config_.Objects[I];
    const uint32_t Bytes = static_cast<uint32_t>(Object.Size) * Object.Instances;
    for (uint32_t K = 0; K < Bytes; ++K) {
      const uint16_t At = static_cast<uint16_t>(ObjectStart_[I] + K);
      if (At >= TableEnd_) Registers_[At] = Stored_[At];
    }
  }
  SetVolatileObjects();
  QueueHead_ = QueueCount_ = 0;
  CommitBusy_ = false;
}

void TouchController::Commit() {
  ++CommitCount_;
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    const ObjectDefinition &Object = Config_.Objects[I];
    const uint32_t Bytes = static_cast<uint32_t>(Object.Size) * Object.Instances;
    for (uint32_t K = 0; K < Bytes; ++K) {
      const uint16_t At = static_cast<uint16_t>(ObjectStart_[I] + K);
      if (At >= TableEnd_) Stored_[At] = Registers_[At];
    }
  }
  CommitBusy_ = true;
  CommitDueUs_ = NowUs_ + Config_.CommitDelayUs;
  if (Config_.CommitDelayUs == 0) FinishCommit();
}

// The commit message: status 0, then a 24-bit checksum of the stored
// configuration, low byte first.
void TouchController::FinishCommit() {
  CommitBusy_ = false;
  if (Faults_.CommitNeverAnswers || CommandIndex_ == kNoObject) return;
  if (Faults_.ExtraMessagesBeforeCommit) QueueExtraMessages();
  const uint32_t Sum = ConfigurationChecksum();
  const uint8_t Payload[4] = {0x00, static_cast<uint8_t>(Sum & 0xFF), static_cast<uint8_t>((Sum >> 8) & 0xFF),
                              static_cast<uint8_t>((Sum >> 16) & 0xFF)};
  PostMessage(ReportId_[CommandIndex_], Payload, 4);
}

uint32_t TouchController::ConfigurationChecksum() const {
  uint32_t Sum = 0;
  for (uint32_t I = 0; I < ObjectCount_; ++I) {
    if (I == CommandIndex_ || I == MessageIndex_ || I == VersionIndex_) continue;
    const ObjectDefinition &Object = Config_.Objects[I];
    const uint32_t Bytes = static_cast<uint32_t>(Object.Size) * Object.Instances;
    for (uint32_t K = 0; K < Bytes; ++K) {
      Sum = ((Sum << 1) | (Sum >> 23)) & 0xFFFFFF;
      Sum ^= Stored_[static_cast<uint16_t>(ObjectStart_[I] + K)];
    }
  }
  return Sum;
}

// --- The message object ---

void TouchController::PostMessage(uint8_t ReportId, const uint8_t *Payload, uint32_t PayloadLength) {
  if (QueueCount_ == kMessageQueueDepth) {
    QueueHead_ = (QueueHead_ + 1) % kMessageQueueDepth;
    --QueueCount_;
    ++MessagesDropped_;
  }
  ControllerMessage &M = Queue_[(QueueHead_ + QueueCount_) % kMessageQueueDepth];
  FillBytes(M.Bytes, 0, kMaxMessageBytes);
  M.Bytes[0] = ReportId;
  if (PayloadLength > kMaxMessageBytes - 1) PayloadLength = kMaxMessageBytes - 1;
  CopyBytes(M.Bytes + 1, Payload, PayloadLength);
  M.Length = static_cast<uint8_t>(PayloadLength + 1);
  ++QueueCount_;
}

void TouchController::QueueExtraMessages() {
  for (uint32_t I = 0; I < Faults_.ExtraMessageCount; ++I) {
    const uint8_t Payload[2] = {0x80, static_cast<uint8_t>(I)};
    PostMessage(Faults_.ExtraMessages[I], Payload, 2);
  }
}

// A read from the start of the message object takes the head of the queue
// into the object; while a commit is busy no message is handed out.
void TouchController::LoadHeadMessage() {
  const ObjectDefinition &Object = Config_.Objects[MessageIndex_];
  const uint16_t Base = ObjectStart_[MessageIndex_];
  for (uint32_t K = 0; K < Object.Size; ++K) Registers_[static_cast<uint16_t>(Base + K)] = K == 0 ? kEmptyMessage : 0;
  if (CommitBusy_ || QueueCount_ == 0) return;
  const ControllerMessage &M = Queue_[QueueHead_];
  for (uint32_t K = 0; K < Object.Size && K < M.Length; ++K)
    Registers_[static_cast<uint16_t>(Base + K)] = M.Bytes[K];
  QueueHead_ = (QueueHead_ + 1) % kMessageQueueDepth;
  --QueueCount_;
}

// --- Bootloader mode ---
// Stand-in until the bootloader model exists: it acknowledges at 0x26, takes
// every write without acting on it and always reports that it waits for a
// command. Application mode is silent meanwhile.

bool TouchController::BootloaderWrite(uint8_t Slave, const uint8_t *, uint32_t) {
  if (Slave != kBootloaderAddress) return false;
  ++BootloaderWrites_;
  return true;
}

bool TouchController::BootloaderRead(uint8_t Slave, uint8_t *Data, uint32_t Length) {
  if (Slave != kBootloaderAddress) return false;
  for (uint32_t I = 0; Data != nullptr && I < Length; ++I) Data[I] = I == 0 ? kWaitingForCommand : 0;
  return true;
}

// --- Time ---

void TouchController::AdvanceTime(uint64_t Microseconds) {
  NowUs_ += Microseconds;
  if (CommitBusy_ && NowUs_ >= CommitDueUs_) FinishCommit();
}

// --- Inspection ---

bool TouchController::InBootloader() const { return Bootloader_; }
uint16_t TouchController::AnnouncedOutputRegister() const { return Config_.OutputRegister; }
uint32_t TouchController::RequestsDecoded() const { return RequestsDecoded_; }
uint32_t TouchController::RequestsIgnored() const { return RequestsIgnored_; }
uint32_t TouchController::CommandCount() const {
  return CommandCount_ < kMaxCommandRecords ? CommandCount_ : kMaxCommandRecords;
}
const CommandRecord &TouchController::Command(uint32_t Index) const {
  return Index < CommandCount() ? Commands_[Index] : NoCommand_;
}
uint32_t TouchController::ObjectCount() const { return ObjectCount_; }
const ObjectDefinition &TouchController::Object(uint32_t Index) const {
  return Config_.Objects[Index < ObjectCount_ ? Index : 0];
}
uint16_t TouchController::ObjectAddress(uint32_t Index) const {
  return Index < ObjectCount_ ? ObjectStart_[Index] : 0;
}
const uint8_t *TouchController::Registers() const { return Registers_; }
const uint8_t *TouchController::StoredRegisters() const { return Stored_; }
uint32_t TouchController::CommitCount() const { return CommitCount_; }
uint32_t TouchController::RestartCount() const { return RestartCount_; }
uint8_t TouchController::ObjectReportId(uint32_t Index) const {
  return Index < ObjectCount_ ? ReportId_[Index] : 0;
}
uint32_t TouchController::FindObjectIndex(uint8_t Type) const {
  for (uint32_t I = 0; I < ObjectCount_; ++I)
    if (Config_.Objects[I].Type == Type) return I;
  return ObjectCount_;
}
uint32_t TouchController::RepliesMade() const { return RepliesMade_; }
uint32_t TouchController::RepliesLost() const { return RepliesLost_; }
uint32_t TouchController::RefusedWrites() const { return RefusedWrites_; }
uint32_t TouchController::RequestsWithStrayBytes() const { return StrayByteRequests_; }
uint32_t TouchController::BootloaderRequests() const { return BootloaderRequests_; }
uint32_t TouchController::BootloaderWrites() const { return BootloaderWrites_; }
uint32_t TouchController::QueuedMessages() const { return QueueCount_; }
uint32_t TouchController::MessagesDropped() const { return MessagesDropped_; }
bool TouchController::CommitBusy() const { return CommitBusy_; }
uint64_t TouchController::NowUs() const { return NowUs_; }

}  // namespace touchsim
