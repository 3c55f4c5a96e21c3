// The application's own thin definition of the UEFI types, status codes and
// service tables it calls. Written from the published interfaces; member
// order matters because the firmware hands us its real tables.
#ifndef TOUCH_PLATFORM_UEFI_H_
#define TOUCH_PLATFORM_UEFI_H_

#include <stddef.h>
#include <stdint.h>

typedef uint8_t UINT8;
typedef uint16_t UINT16;
typedef uint32_t UINT32;
typedef uint64_t UINT64;
typedef int8_t INT8;
typedef int16_t INT16;
typedef int32_t INT32;
typedef int64_t INT64;
typedef uintptr_t UINTN;
typedef intptr_t INTN;
typedef UINT8 BOOLEAN;
typedef char CHAR8;
typedef char16_t CHAR16;
typedef void VOID;

#define TRUE ((BOOLEAN)1)
#define FALSE ((BOOLEAN)0)

#if defined(__i386__)
#define EFIAPI __attribute__((cdecl))
#else
// The host build calls its own simulated services in the native convention.
#define EFIAPI
#endif

typedef UINTN EFI_STATUS;
typedef VOID *EFI_HANDLE;
typedef VOID *EFI_EVENT;
typedef UINTN EFI_TPL;

typedef struct {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
} EFI_GUID;

// Status codes: the failure bit is the top bit of the natural width.
#define MAX_BIT_OF_UINTN (((UINTN)1) << (sizeof(UINTN) * 8 - 1))
#define ENCODE_ERROR(Code) ((EFI_STATUS)(MAX_BIT_OF_UINTN | (Code)))
#define ENCODE_WARNING(Code) ((EFI_STATUS)(Code))
#define EFI_ERROR(Status) (((INTN)(EFI_STATUS)(Status)) < 0)

#define EFI_SUCCESS ((EFI_STATUS)0)
#define EFI_LOAD_ERROR ENCODE_ERROR(1)
#define EFI_INVALID_PARAMETER ENCODE_ERROR(2)
#define EFI_UNSUPPORTED ENCODE_ERROR(3)
#define EFI_BAD_BUFFER_SIZE ENCODE_ERROR(4)
#define EFI_BUFFER_TOO_SMALL ENCODE_ERROR(5)
#define EFI_NOT_READY ENCODE_ERROR(6)
#define EFI_DEVICE_ERROR ENCODE_ERROR(7)
#define EFI_WRITE_PROTECTED ENCODE_ERROR(8)
#define EFI_OUT_OF_RESOURCES ENCODE_ERROR(9)
#define EFI_NOT_FOUND ENCODE_ERROR(14)
#define EFI_ACCESS_DENIED ENCODE_ERROR(15)
#define EFI_NO_RESPONSE ENCODE_ERROR(16)
#define EFI_TIMEOUT ENCODE_ERROR(18)
#define EFI_ABORTED ENCODE_ERROR(21)
#define EFI_SECURITY_VIOLATION ENCODE_ERROR(26)
#define EFI_WARN_UNKNOWN_GLYPH ENCODE_WARNING(1)
#define EFI_WARN_DELETE_FAILURE ENCODE_WARNING(2)
#define EFI_WARN_WRITE_FAILURE ENCODE_WARNING(3)
#define EFI_WARN_BUFFER_TOO_SMALL ENCODE_WARNING(4)

// The application's own failures: the failure bit alone (0x80000000 on IA32).
#define GENERIC_FAILURE ENCODE_ERROR(0)

#define TPL_APPLICATION ((EFI_TPL)4)
#define TPL_CALLBACK ((EFI_TPL)8)
#define TPL_NOTIFY ((EFI_TPL)16)
#define TPL_HIGH_LEVEL ((EFI_TPL)31)

typedef enum {
  EfiReservedMemoryType,
  EfiLoaderCode,
  EfiLoaderData,
  EfiBootServicesCode,
  EfiBootServicesData,
  EfiRuntimeServicesCode,
  EfiRuntimeServicesData,
  EfiConventionalMemory,
  EfiMaxMemoryType = 0x7FFFFFFF
} EFI_MEMORY_TYPE;

typedef enum {
  AllHandles,
  ByRegisterNotify,
  ByProtocol
} EFI_LOCATE_SEARCH_TYPE;

typedef enum { EFI_NATIVE_INTERFACE } EFI_INTERFACE_TYPE;

typedef enum {
  EfiResetCold,
  EfiResetWarm,
  EfiResetShutdown,
  EfiResetPlatformSpecific
} EFI_RESET_TYPE;

#define EFI_VARIABLE_NON_VOLATILE 0x00000001u
#define EFI_VARIABLE_BOOTSERVICE_ACCESS 0x00000002u
#define EFI_VARIABLE_RUNTIME_ACCESS 0x00000004u

typedef struct {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
} EFI_TABLE_HEADER;

typedef VOID *EFI_UNUSED_SERVICE;  // a slot whose function the application never calls

typedef EFI_TPL(EFIAPI *EFI_RAISE_TPL)(EFI_TPL NewTpl);
typedef VOID(EFIAPI *EFI_RESTORE_TPL)(EFI_TPL OldTpl);
typedef EFI_STATUS(EFIAPI *EFI_ALLOCATE_POOL)(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID **Buffer);
typedef EFI_STATUS(EFIAPI *EFI_FREE_POOL)(VOID *Buffer);
typedef EFI_STATUS(EFIAPI *EFI_INSTALL_PROTOCOL_INTERFACE)(EFI_HANDLE *Handle, EFI_GUID *Protocol,
                                                           EFI_INTERFACE_TYPE InterfaceType,
                                                           VOID *Interface);
typedef EFI_STATUS(EFIAPI *EFI_HANDLE_PROTOCOL)(EFI_HANDLE Handle, EFI_GUID *Protocol,
                                                VOID **Interface);
typedef EFI_STATUS(EFIAPI *EFI_IMAGE_LOAD)(BOOLEAN BootPolicy, EFI_HANDLE ParentImageHandle,
                                           VOID *DevicePath, VOID *SourceBuffer, UINTN SourceSize,
                                           EFI_HANDLE *ImageHandle);
typedef EFI_STATUS(EFIAPI *EFI_IMAGE_START)(EFI_HANDLE ImageHandle, UINTN *ExitDataSize,
                                            CHAR16 **ExitData);
typedef EFI_STATUS(EFIAPI *EFI_STALL)(UINTN Microseconds);
typedef EFI_STATUS(EFIAPI *EFI_SET_WATCHDOG_TIMER)(UINTN Timeout, UINT64 WatchdogCode,
                                                   UINTN DataSize, CHAR16 *WatchdogData);
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_HANDLE_BUFFER)(EFI_LOCATE_SEARCH_TYPE SearchType,
                                                     EFI_GUID *Protocol, VOID *SearchKey,
                                                     UINTN *NoHandles, EFI_HANDLE **Buffer);
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_PROTOCOL)(EFI_GUID *Protocol, VOID *Registration,
                                                VOID **Interface);
typedef VOID(EFIAPI *EFI_COPY_MEM)(VOID *Destination, VOID *Source, UINTN Length);
typedef VOID(EFIAPI *EFI_SET_MEM)(VOID *Buffer, UINTN Size, UINT8 Value);

typedef struct {
  EFI_TABLE_HEADER Hdr;
  EFI_RAISE_TPL RaiseTPL;
  EFI_RESTORE_TPL RestoreTPL;
  EFI_UNUSED_SERVICE AllocatePages;
  EFI_UNUSED_SERVICE FreePages;
  EFI_UNUSED_SERVICE GetMemoryMap;
  EFI_ALLOCATE_POOL AllocatePool;
  EFI_FREE_POOL FreePool;
  EFI_UNUSED_SERVICE CreateEvent;
  EFI_UNUSED_SERVICE SetTimer;
  EFI_UNUSED_SERVICE WaitForEvent;
  EFI_UNUSED_SERVICE SignalEvent;
  EFI_UNUSED_SERVICE CloseEvent;
  EFI_UNUSED_SERVICE CheckEvent;
  EFI_INSTALL_PROTOCOL_INTERFACE InstallProtocolInterface;
  EFI_UNUSED_SERVICE ReinstallProtocolInterface;
  EFI_UNUSED_SERVICE UninstallProtocolInterface;
  EFI_HANDLE_PROTOCOL HandleProtocol;
  VOID *Reserved;
  EFI_UNUSED_SERVICE RegisterProtocolNotify;
  EFI_UNUSED_SERVICE LocateHandle;
  EFI_UNUSED_SERVICE LocateDevicePath;
  EFI_UNUSED_SERVICE InstallConfigurationTable;
  EFI_IMAGE_LOAD LoadImage;
  EFI_IMAGE_START StartImage;
  EFI_UNUSED_SERVICE Exit;
  EFI_UNUSED_SERVICE UnloadImage;
  EFI_UNUSED_SERVICE ExitBootServices;
  EFI_UNUSED_SERVICE GetNextMonotonicCount;
  EFI_STALL Stall;
  EFI_SET_WATCHDOG_TIMER SetWatchdogTimer;
  EFI_UNUSED_SERVICE ConnectController;
  EFI_UNUSED_SERVICE DisconnectController;
  EFI_UNUSED_SERVICE OpenProtocol;
  EFI_UNUSED_SERVICE CloseProtocol;
  EFI_UNUSED_SERVICE OpenProtocolInformation;
  EFI_UNUSED_SERVICE ProtocolsPerHandle;
  EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
  EFI_LOCATE_PROTOCOL LocateProtocol;
  EFI_UNUSED_SERVICE InstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE UninstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE CalculateCrc32;
  EFI_COPY_MEM CopyMem;
  EFI_SET_MEM SetMem;
  EFI_UNUSED_SERVICE CreateEventEx;
} EFI_BOOT_SERVICES;

typedef EFI_STATUS(EFIAPI *EFI_GET_VARIABLE)(CHAR16 *VariableName, EFI_GUID *VendorGuid,
                                             UINT32 *Attributes, UINTN *DataSize, VOID *Data);
typedef EFI_STATUS(EFIAPI *EFI_SET_VARIABLE)(CHAR16 *VariableName, EFI_GUID *VendorGuid,
                                             UINT32 Attributes, UINTN DataSize, VOID *Data);
typedef VOID(EFIAPI *EFI_RESET_SYSTEM)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus,
                                       UINTN DataSize, VOID *ResetData);

typedef struct {
  EFI_TABLE_HEADER Hdr;
  EFI_UNUSED_SERVICE GetTime;
  EFI_UNUSED_SERVICE SetTime;
  EFI_UNUSED_SERVICE GetWakeupTime;
  EFI_UNUSED_SERVICE SetWakeupTime;
  EFI_UNUSED_SERVICE SetVirtualAddressMap;
  EFI_UNUSED_SERVICE ConvertPointer;
  EFI_GET_VARIABLE GetVariable;
  EFI_UNUSED_SERVICE GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  EFI_UNUSED_SERVICE GetNextHighMonotonicCount;
  EFI_RESET_SYSTEM ResetSystem;
} EFI_RUNTIME_SERVICES;

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;
typedef EFI_STATUS(EFIAPI *EFI_TEXT_STRING)(struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *This,
                                            CHAR16 *String);
typedef struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
  EFI_UNUSED_SERVICE Reset;
  EFI_TEXT_STRING OutputString;
} EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;

typedef struct {
  EFI_TABLE_HEADER Hdr;
  CHAR16 *FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  VOID *ConIn;
  EFI_HANDLE ConsoleOutHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut;
  EFI_HANDLE StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *StdErr;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  EFI_BOOT_SERVICES *BootServices;
  UINTN NumberOfTableEntries;
  VOID *ConfigurationTable;
} EFI_SYSTEM_TABLE;

// Layouts the firmware relies on, in pointer-sized slots after the header so
// that the same checks hold for the host build and pin the IA32 offsets.
#define EFI_SLOT_OFFSET(Index) (sizeof(EFI_TABLE_HEADER) + (Index) * sizeof(VOID *))
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "table header");
static_assert(sizeof(EFI_GUID) == 16, "GUID");
static_assert(offsetof(EFI_BOOT_SERVICES, RaiseTPL) == EFI_SLOT_OFFSET(0), "RaiseTPL");
static_assert(offsetof(EFI_BOOT_SERVICES, RestoreTPL) == EFI_SLOT_OFFSET(1), "RestoreTPL");
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePool) == EFI_SLOT_OFFSET(5), "AllocatePool");
static_assert(offsetof(EFI_BOOT_SERVICES, FreePool) == EFI_SLOT_OFFSET(6), "FreePool");
static_assert(offsetof(EFI_BOOT_SERVICES, InstallProtocolInterface) == EFI_SLOT_OFFSET(13),
              "InstallProtocolInterface");
static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == EFI_SLOT_OFFSET(16), "HandleProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, LoadImage) == EFI_SLOT_OFFSET(22), "LoadImage");
static_assert(offsetof(EFI_BOOT_SERVICES, StartImage) == EFI_SLOT_OFFSET(23), "StartImage");
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == EFI_SLOT_OFFSET(28), "Stall");
static_assert(offsetof(EFI_BOOT_SERVICES, SetWatchdogTimer) == EFI_SLOT_OFFSET(29), "Watchdog");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == EFI_SLOT_OFFSET(36),
              "LocateHandleBuffer");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == EFI_SLOT_OFFSET(37), "LocateProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, CopyMem) == EFI_SLOT_OFFSET(41), "CopyMem");
static_assert(offsetof(EFI_BOOT_SERVICES, SetMem) == EFI_SLOT_OFFSET(42), "SetMem");
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == EFI_SLOT_OFFSET(6), "GetVariable");
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == EFI_SLOT_OFFSET(8), "SetVariable");
static_assert(offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == EFI_SLOT_OFFSET(10), "ResetSystem");
#if defined(__i386__)
static_assert(sizeof(EFI_STATUS) == 4 && sizeof(VOID *) == 4, "IA32 natural width");
static_assert(offsetof(EFI_BOOT_SERVICES, Stall) == 136, "IA32 Stall");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 172, "IA32 LocateProtocol");
static_assert(offsetof(EFI_BOOT_SERVICES, SetMem) == 192, "IA32 SetMem");
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 56, "IA32 SetVariable");
static_assert(offsetof(EFI_SYSTEM_TABLE, ConOut) == 44, "IA32 ConOut");
static_assert(offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 56, "IA32 RuntimeServices");
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 60, "IA32 BootServices");
static_assert(GENERIC_FAILURE == 0x80000000u, "IA32 generic failure");
#endif

#endif  // TOUCH_PLATFORM_UEFI_H_
