// A model of the touch controller, written from the controller's side: the
// HID-over-I2C application mode at 0x4A (register map laid out by its own
// information block and object table, objects with behaviour) and, later, the
// bootloader at 0x26. Freestanding: fixed storage, no heap, no std library,
// so the launcher image for real firmware can carry it too.
//
// Behaviour where the controller has to decide for itself:
// - A register request that is malformed (wrong output register, length field,
//   report ID or command, a transfer that is not 22 bytes, a write count below
//   2 or above 14, a read count above 15, or a write count above 2 together
//   with a read count) is dropped without a reply, as the hardware drops it.
// - A write that touches a read-only byte (information block, object table,
//   message object, version object) or a byte no object covers is refused as
//   a whole: nothing lands and the reply carries kReplyStatusRefused.
//   Reads of bytes no object covers give zeros.
// - A new request while a reply is still unread replaces that reply.
// - The message queue holds kMessageQueueDepth messages; on overflow the
//   oldest message is dropped, since the newest state is the one that counts.
// - The command object, the message object and the version object are
//   volatile: a restart sets them afresh instead of reloading them.
// - A reply whose status fault fires carries no data and its access is not
//   carried out (a failed access leaves the controller as it was).
// - Command bytes: 0x01 at offset 0 restarts (answered first: the reply to
//   the request stays readable); 0xA5 at offset 0 is counted and left to the
//   bootloader model; 0x55 at offset 1 stores the objects at once and posts
//   the command object's message (status 0, then a 24-bit checksum of the
//   stored configuration) CommitDelayUs later; 0x33 at offset 1 is accepted.
//   Bytes 0 and 1 read back 0 once their command has been taken; other bytes
//   of the command object are plain storage.
// - Until the bootloader model exists, bootloader mode only acknowledges at
//   0x26, takes writes without acting on them and reads back 0xC0.
#ifndef TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_
#define TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_

#include <stddef.h>
#include <stdint.h>

namespace touchsim {

constexpr uint8_t kApplicationAddress = 0x4A;
constexpr uint8_t kBootloaderAddress = 0x26;
constexpr uint32_t kMaxObjects = 64;
constexpr uint32_t kRegisterSpace = 0x10000;

constexpr uint32_t kHidDescriptorLength = 30;
constexpr uint32_t kRequestLength = 22;
constexpr uint32_t kReplyLength = 20;
constexpr uint8_t kRequestReportId = 0x06;
constexpr uint8_t kRegisterAccessCommand = 0x51;
constexpr uint8_t kReplyReportId = 0x06;
constexpr uint8_t kMaxReplyData = 15;
constexpr uint8_t kMaxWriteData = 12;
constexpr uint8_t kReplyStatusRefused = 0x01;
constexpr uint8_t kEmptyMessage = 0xFF;
constexpr uint32_t kInformationBlockLength = 7;
constexpr uint32_t kObjectEntryLength = 6;
constexpr uint32_t kMessageQueueDepth = 16;
constexpr uint32_t kMaxMessageBytes = 16;      // report ID and up to 15 payload bytes
constexpr uint32_t kMaxCommandRecords = 512;

// Object types the controller gives behaviour to.
constexpr uint8_t kMessageObjectType = 5;
constexpr uint8_t kCommandObjectType = 6;
constexpr uint8_t kVersionObjectType = 38;
constexpr uint8_t kDataTransferObjectType = 68;

// Command values and their offsets within the command object.
constexpr uint16_t kResetOffset = 0;
constexpr uint16_t kBackupOffset = 1;
constexpr uint8_t kResetValue = 0x01;
constexpr uint8_t kBootloaderValue = 0xA5;
constexpr uint8_t kCommitValue = 0x55;
constexpr uint8_t kPrepareValue = 0x33;

// Bootloader status byte.
constexpr uint8_t kWaitingForCommand = 0xC0;

struct ObjectDefinition {
  uint8_t Type;
  uint16_t Size;          // 1 to 256
  uint16_t Instances;     // 1 to 256
  uint8_t ReportIdsPerInstance;
};

struct ControllerConfig {
  uint16_t OutputRegister;       // announced in the HID descriptor (bytes 12-13)
  uint8_t InfoBlock[6];          // information block bytes 0-5; byte 6 is the object count
  uint8_t VersionBytes[2];       // first two bytes of the version object (type 38)
  ObjectDefinition Objects[kMaxObjects];
  uint32_t ObjectCount;
  uint16_t FirstObjectAddress;   // 0: right behind the object table
  uint32_t CommitDelayUs;        // virtual time the commit takes before its message
  bool StartInBootloader;
  // HID descriptor identity (bytes 20-25).
  uint16_t VendorId;
  uint16_t ProductId;
  uint16_t HidVersionId;
};

// The default model: fits the embedded package (every object type its
// configuration lines name, with their sizes and instance counts; types 5, 6,
// 38, 43 and 68; a data transfer object of 73 bytes).
void DefaultControllerConfig(ControllerConfig *Config);

// Misbehaviour the controller itself can show; all zero means none. Reply
// numbers count every register reply the controller makes, from 1.
struct DeviceFaults {
  uint32_t ReplyStatusAt;      // 1-based register reply number that carries ReplyStatusValue (0: none)
  uint8_t ReplyStatusValue;
  uint32_t ShortReplyAt;       // 1-based reply number whose reply count is cut to ShortReplyCount
  uint8_t ShortReplyCount;
  uint32_t OverlongReplyAt;    // 1-based reply number whose reply count claims OverlongReplyCount
  uint8_t OverlongReplyCount;
  uint32_t ShortRepliesFrom;   // from this reply on (0: never) every reply count is ShortReplyCount
  uint8_t ExtraMessages[16];   // report IDs of messages from other objects queued at start
  uint32_t ExtraMessageCount;
  bool CommitNeverAnswers;     // the commit message never comes
  uint8_t ForcedSmbusLength;   // non-zero: SMBus block reads return only this many bytes
  // The extra messages arrive right before every commit message instead of
  // at power-on (a restart drops what is queued, so a run that flashes first
  // would never see them otherwise).
  bool ExtraMessagesBeforeCommit;
};

struct CommandRecord {
  uint16_t Offset;   // offset within the command object
  uint8_t Value;
};

struct ControllerMessage {
  uint8_t Bytes[kMaxMessageBytes];  // byte 0: report ID of the posting object
  uint8_t Length;
};

class TouchController {
 public:
  // Power-on with the given configuration and faults.
  void PowerOn(const ControllerConfig &Config, const DeviceFaults &Faults);

  // --- Bus side. Each returns true when a device acknowledged the address. ---
  bool SmbusReadBlock(uint8_t Slave, uint8_t Command, uint8_t *Buffer, uint32_t *Length);
  bool Write(uint8_t Slave, const uint8_t *Data, uint32_t Length);
  bool Read(uint8_t Slave, uint8_t *Data, uint32_t Length);
  bool InterruptAsserted() const;
  // Virtual time passing (the host's pauses): a commit in progress ends when
  // its delay has passed, so a host that never calls this never sees the
  // commit message unless CommitDelayUs is 0.
  void AdvanceTime(uint64_t Microseconds);

  // --- Inspection, for reports and tests ---
  bool InBootloader() const;
  uint16_t AnnouncedOutputRegister() const;
  uint32_t RequestsDecoded() const;
  uint32_t RequestsIgnored() const;
  uint32_t CommandCount() const;
  const CommandRecord &Command(uint32_t Index) const;
  uint32_t ObjectCount() const;
  const ObjectDefinition &Object(uint32_t Index) const;
  uint16_t ObjectAddress(uint32_t Index) const;
  // Bytes of the live register map and of the stored (committed) configuration.
  const uint8_t *Registers() const;
  const uint8_t *StoredRegisters() const;
  uint32_t CommitCount() const;
  uint32_t RestartCount() const;

  // Report ID of an object's instance 0 (0 when it owns none).
  uint8_t ObjectReportId(uint32_t Index) const;
  // Index of the first object of a type, or ObjectCount() when there is none.
  uint32_t FindObjectIndex(uint8_t Type) const;
  uint32_t RepliesMade() const;          // register replies made, faulted ones included
  uint32_t RepliesLost() const;          // replies replaced by a later one before being read
  uint32_t RefusedWrites() const;        // writes refused for touching read-only or unmapped bytes
  uint32_t RequestsWithStrayBytes() const;  // carried out, but with non-zero bytes past the data
  uint32_t BootloaderRequests() const;   // 0xA5 written at offset 0 of the command object
  uint32_t BootloaderWrites() const;     // transfers written to 0x26 in bootloader mode
  uint32_t QueuedMessages() const;
  uint32_t MessagesDropped() const;      // dropped because the queue was full
  bool CommitBusy() const;
  uint64_t NowUs() const;

 private:
#include "sim/device/TouchControllerState.inc"
};

}  // namespace touchsim

#endif  // TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_
