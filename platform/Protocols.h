// The platform protocols and records the application uses, with their GUIDs.
#ifndef TOUCH_PLATFORM_PROTOCOLS_H_
#define TOUCH_PLATFORM_PROTOCOLS_H_

#include "platform/Uefi.h"

// --- SMBus host controller protocol (only Execute is called) ---
#define EFI_SMBUS_HC_PROTOCOL_GUID \
  {0xE49D33ED, 0x513D, 0x4634, {0xB6, 0x98, 0x6F, 0x55, 0xAA, 0x75, 0x1C, 0x1B}}

typedef struct {
  UINTN SmbusDeviceAddress : 7;
  UINTN Reserved : sizeof(UINTN) * 8 - 7;
} EFI_SMBUS_DEVICE_ADDRESS;
typedef UINTN EFI_SMBUS_DEVICE_COMMAND;

typedef enum {
  EfiSmbusQuickRead,
  EfiSmbusQuickWrite,
  EfiSmbusReceiveByte,
  EfiSmbusSendByte,
  EfiSmbusReadByte,
  EfiSmbusWriteByte,
  EfiSmbusReadWord,
  EfiSmbusWriteWord,
  EfiSmbusReadBlock,
  EfiSmbusWriteBlock,
  EfiSmbusProcessCall,
  EfiSmbusBWBRProcessCall
} EFI_SMBUS_OPERATION;

struct EFI_SMBUS_HC_PROTOCOL;
typedef EFI_STATUS(EFIAPI *EFI_SMBUS_HC_EXECUTE_OPERATION)(
    const struct EFI_SMBUS_HC_PROTOCOL *This, EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
    EFI_SMBUS_DEVICE_COMMAND Command, EFI_SMBUS_OPERATION Operation, BOOLEAN PecCheck,
    UINTN *Length, VOID *Buffer);

typedef struct EFI_SMBUS_HC_PROTOCOL {
  EFI_SMBUS_HC_EXECUTE_OPERATION Execute;
  EFI_UNUSED_SERVICE ArpDevice;
  EFI_UNUSED_SERVICE GetArpMap;
  EFI_UNUSED_SERVICE Notify;
} EFI_SMBUS_HC_PROTOCOL;

static_assert(sizeof(EFI_SMBUS_DEVICE_ADDRESS) == sizeof(UINTN), "SMBus address is one slot");
static_assert(offsetof(EFI_SMBUS_HC_PROTOCOL, Execute) == 0, "Execute first");

// --- Platform I2C access protocol ---
#define PLATFORM_I2C_ACCESS_PROTOCOL_GUID \
  {0xD5BA6BE9, 0xFD6D, 0x4D76, {0xA7, 0xBF, 0x98, 0xD5, 0x39, 0x81, 0x18, 0x87}}

// Six natural-width arguments: 0, 7-bit slave address, 0, 1, buffer, length.
typedef EFI_STATUS(EFIAPI *PLATFORM_I2C_TRANSFER)(UINTN Reserved1, UINTN SlaveAddress,
                                                  UINTN Reserved2, UINTN One, VOID *Buffer,
                                                  UINTN Length);

typedef struct {
  VOID *Private[2];  // never touched by the application
  PLATFORM_I2C_TRANSFER Read;
  PLATFORM_I2C_TRANSFER Write;
} PLATFORM_I2C_ACCESS_PROTOCOL;

static_assert(offsetof(PLATFORM_I2C_ACCESS_PROTOCOL, Read) == 2 * sizeof(VOID *), "read slot 2");
static_assert(offsetof(PLATFORM_I2C_ACCESS_PROTOCOL, Write) == 3 * sizeof(VOID *), "write slot 3");
#if defined(__i386__)
static_assert(offsetof(PLATFORM_I2C_ACCESS_PROTOCOL, Read) == 8, "IA32 read at byte 8");
static_assert(offsetof(PLATFORM_I2C_ACCESS_PROTOCOL, Write) == 12, "IA32 write at byte 12");
#endif

// --- EFI System Resource Table entry, as kept in the status variable ---
typedef struct {
  EFI_GUID FwClass;
  UINT32 FwType;
  UINT32 FwVersion;
  UINT32 LowestSupportedFwVersion;
  UINT32 CapsuleFlags;
  UINT32 LastAttemptVersion;
  UINT32 LastAttemptStatus;
} EFI_SYSTEM_RESOURCE_ENTRY;

static_assert(sizeof(EFI_SYSTEM_RESOURCE_ENTRY) == 40, "ESRT entry is 40 bytes");
static_assert(offsetof(EFI_SYSTEM_RESOURCE_ENTRY, FwVersion) == 20, "FwVersion");
static_assert(offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LowestSupportedFwVersion) == 24, "Lowest");
static_assert(offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LastAttemptVersion) == 32, "LastAttemptVersion");
static_assert(offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LastAttemptStatus) == 36, "LastAttemptStatus");

#define TOUCH_STATUS_VARIABLE_GUID \
  {0x7FC22BE2, 0x82BE, 0x4B26, {0x84, 0x03, 0xE8, 0xAC, 0x53, 0x8C, 0xEE, 0x9B}}

#endif  // TOUCH_PLATFORM_PROTOCOLS_H_
