// The controller link: pauses, raw I2C transfers, the interrupt line, HID
// descriptor discovery, register access and the object table.
#ifndef TOUCH_LINK_CONTROLLER_LINK_H_
#define TOUCH_LINK_CONTROLLER_LINK_H_

#include "platform/Protocols.h"

#define APPLICATION_SLAVE_ADDRESS 0x4A
#define BOOTLOADER_SLAVE_ADDRESS 0x26

#define HID_DESCRIPTOR_LENGTH 30
#define REGISTER_REQUEST_LENGTH 22
#define REGISTER_REPLY_LENGTH 20
#define REGISTER_READ_CHUNK 15
#define REGISTER_WRITE_CHUNK 12

#define OBJECT_TYPE_MESSAGE 5
#define OBJECT_TYPE_COMMAND 6
#define OBJECT_TYPE_VERSION 38
#define OBJECT_TYPE_THQA_CONTROL 43
#define OBJECT_TYPE_DATA_TRANSFER 68

// Room for every entry an information block can announce (its count is one byte).
#define OBJECT_TABLE_CAPACITY 255
#define INFO_BLOCK_LENGTH 7
#define OBJECT_ENTRY_LENGTH 6

#pragma pack(push, 1)
typedef struct {
  UINT8 Type;
  UINT8 StartAddressLow;
  UINT8 StartAddressHigh;
  UINT8 SizeMinusOne;
  UINT8 InstancesMinusOne;
  UINT8 ReportIdsPerInstance;
} OBJECT_ENTRY;
#pragma pack(pop)
static_assert(sizeof(OBJECT_ENTRY) == OBJECT_ENTRY_LENGTH, "object entry is 6 bytes");

static inline UINT16 ObjectStartAddress(const OBJECT_ENTRY *Entry) {
  return static_cast<UINT16>(Entry->StartAddressLow | (Entry->StartAddressHigh << 8));
}
static inline UINT32 ObjectSize(const OBJECT_ENTRY *Entry) { return Entry->SizeMinusOne + 1u; }

typedef struct {
  BOOLEAN HidDescriptorRead;
  UINT16 OutputRegister;
  BOOLEAN ObjectTableRead;
  UINT8 InfoBlock[INFO_BLOCK_LENGTH];
  UINT32 ObjectCount;
  OBJECT_ENTRY ObjectTable[OBJECT_TABLE_CAPACITY];
  UINT16 CommandObjectAddress;
  UINT8 CommandReportId;
  UINT8 DataTransferReportId;
  BOOLEAN SkipNextLineWait;
} CONTROLLER_STATE;

// Program-wide; all zero at image load.
extern CONTROLLER_STATE ControllerState;

// Platform bus access. I2cRead and I2cWrite return EFI_INVALID_PARAMETER
// without a protocol instance.
VOID StallMs(UINT32 Milliseconds);
EFI_STATUS I2cRead(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 SlaveAddress, VOID *Buffer,
                   UINT16 Length);
EFI_STATUS I2cWrite(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 SlaveAddress, const VOID *Buffer,
                    UINT16 Length);
BOOLEAN InterruptLineAsserted(VOID);  // one read of the register, no wait
BOOLEAN WaitForInterruptLine(VOID);

// HID descriptor discovery. A block read that succeeds with fewer than 14
// bytes counts as that SMBus controller failing (EFI_DEVICE_ERROR); a
// successful search that yields no handle gives EFI_NOT_FOUND.
EFI_STATUS FindHidDevice(VOID);

// Register access through HID reports. ReadRegisters rejects a reply that
// claims more bytes than its request asked for (the generic failure after
// 1 ms, none of its bytes copied), and a full request answered with no bytes
// ends the read the same way instead of being repeated.
VOID BuildRegisterRequest(UINT8 *Request, UINT8 WriteCount, UINT8 ReadCount, UINT16 Address,
                          const UINT8 *Data, UINT8 DataLength);
EFI_STATUS ReadRegisters(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT16 Address, UINT16 Count,
                         VOID *Destination);
EFI_STATUS WriteRegisters(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT16 Address, UINT16 Count,
                          const VOID *Source);

// Information block and object table.
EFI_STATUS ReadObjectTable(PLATFORM_I2C_ACCESS_PROTOCOL *I2c);
BOOLEAN FindObject(UINT8 Type, UINT8 *Index);
// Without a version object in the table nothing more is read: the word gets
// 0 in its low half and the generic failure is returned.
EFI_STATUS ReadVersionWord(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT32 *VersionWord);

#endif  // TOUCH_LINK_CONTROLLER_LINK_H_
