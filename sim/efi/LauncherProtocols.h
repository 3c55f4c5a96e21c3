// Firmware interfaces only the launcher needs: finding the volume it was
// booted from and reading one small file there. The product image never
// uses them, so they stay out of the product's platform headers.
#ifndef TOUCH_SIM_EFI_LAUNCHER_PROTOCOLS_H_
#define TOUCH_SIM_EFI_LAUNCHER_PROTOCOLS_H_

#include "platform/Uefi.h"

#define LAUNCHER_LOADED_IMAGE_PROTOCOL_GUID \
  {0x5B1B31A1, 0x9562, 0x11D2, {0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}}
#define LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID \
  {0x964E5B22, 0x6459, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}}

// Only the leading members up to the device handle are read; the rest of the
// firmware's record is never touched, so it is not described.
typedef struct {
  UINT32 Revision;
  EFI_HANDLE ParentHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_HANDLE DeviceHandle;
} LAUNCHER_LOADED_IMAGE_PROTOCOL;

struct LAUNCHER_FILE_PROTOCOL;
typedef EFI_STATUS(EFIAPI *LAUNCHER_FILE_OPEN)(struct LAUNCHER_FILE_PROTOCOL *This,
                                               struct LAUNCHER_FILE_PROTOCOL **NewHandle,
                                               CHAR16 *FileName, UINT64 OpenMode,
                                               UINT64 Attributes);
typedef EFI_STATUS(EFIAPI *LAUNCHER_FILE_CLOSE)(struct LAUNCHER_FILE_PROTOCOL *This);
typedef EFI_STATUS(EFIAPI *LAUNCHER_FILE_READ)(struct LAUNCHER_FILE_PROTOCOL *This,
                                               UINTN *BufferSize, VOID *Buffer);

typedef struct LAUNCHER_FILE_PROTOCOL {
  UINT64 Revision;
  LAUNCHER_FILE_OPEN Open;
  LAUNCHER_FILE_CLOSE Close;
  EFI_UNUSED_SERVICE Delete;
  LAUNCHER_FILE_READ Read;
} LAUNCHER_FILE_PROTOCOL;

#define LAUNCHER_FILE_MODE_READ 0x0000000000000001ull

struct LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL;
typedef EFI_STATUS(EFIAPI *LAUNCHER_OPEN_VOLUME)(struct LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL *This,
                                                 LAUNCHER_FILE_PROTOCOL **Root);
typedef struct LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL {
  UINT64 Revision;
  LAUNCHER_OPEN_VOLUME OpenVolume;
} LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL;

#if defined(__i386__)
static_assert(offsetof(LAUNCHER_LOADED_IMAGE_PROTOCOL, DeviceHandle) == 12, "IA32 DeviceHandle");
static_assert(offsetof(LAUNCHER_FILE_PROTOCOL, Open) == 8, "IA32 File.Open");
static_assert(offsetof(LAUNCHER_FILE_PROTOCOL, Close) == 12, "IA32 File.Close");
static_assert(offsetof(LAUNCHER_FILE_PROTOCOL, Read) == 20, "IA32 File.Read");
static_assert(offsetof(LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL, OpenVolume) == 8, "IA32 OpenVolume");
#endif

#endif  // TOUCH_SIM_EFI_LAUNCHER_PROTOCOLS_H_
