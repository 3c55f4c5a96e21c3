// A model of the touch controller, written from the controller's side: the
// HID-over-I2C application mode at 0x4A (register map laid out by its own
// information block and object table, objects with behaviour) and, later, the
// bootloader at 0x26. Freestanding: fixed storage, no heap, no std library,
// so the launcher image for real firmware can carry it too.
#ifndef TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_
#define TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_

#include <stddef.h>
#include <stdint.h>

namespace touchsim {

constexpr uint8_t kApplicationAddress = 0x4A;
constexpr uint8_t kBootloaderAddress = 0x26;
constexpr uint32_t kMaxObjects = 64;
constexpr uint32_t kRegisterSpace = 0x10000;

struct ObjectSpec {
  uint8_t Type;
  uint16_t Size;          // 1 to 256
  uint16_t Instances;     // 1 to 256
  uint8_t ReportIdsPerInstance;
};

struct ControllerConfig {
  uint16_t OutputRegister;       // announced in the HID descriptor (bytes 12-13)
  uint8_t InfoBlock[6];          // information block bytes 0-5; byte 6 is the object count
  uint8_t VersionBytes[2];       // first two bytes of the version object (type 38)
  ObjectSpec Objects[kMaxObjects];
  uint32_t ObjectCount;
  uint16_t FirstObjectAddress;   // 0: right behind the object table
  uint32_t CommitDelayUs;        // virtual time the commit takes before its message
  bool StartInBootloader;
};

// The default model: fits the embedded package (every object type its
// configuration lines name, with their sizes and instance counts; types 5, 6,
// 38, 43 and 68; a data transfer object of 73 bytes).
void DefaultControllerConfig(ControllerConfig *Config);

// Misbehaviour the controller itself can show; all zero means none.
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
};

struct CommandRecord {
  uint16_t Offset;   // offset within the command object
  uint8_t Value;
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
  void AdvanceTime(uint64_t Microseconds);

  // --- Inspection, for reports and tests ---
  bool InBootloader() const;
  uint16_t AnnouncedOutputRegister() const;
  uint32_t RequestsDecoded() const;
  uint32_t RequestsIgnored() const;
  uint32_t CommandCount() const;
  const CommandRecord &Command(uint32_t Index) const;
  uint32_t ObjectCount() const;
  const ObjectSpec &Object(uint32_t Index) const;
  uint16_t ObjectAddress(uint32_t Index) const;
  // Bytes of the live register map and of the stored (committed) configuration.
  const uint8_t *Registers() const;
  const uint8_t *StoredRegisters() const;
  uint32_t CommitCount() const;
  uint32_t RestartCount() const;

 private:
#include "sim/device/TouchControllerState.inc"
};

}  // namespace touchsim

#endif  // TOUCH_SIM_DEVICE_TOUCH_CONTROLLER_H_
