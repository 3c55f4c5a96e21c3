// The update driver: entry point, update sequence and firmware status record.
#ifndef TOUCH_DRIVER_DRIVER_H_
#define TOUCH_DRIVER_DRIVER_H_

#include "platform/Protocols.h"

#define STATUS_RECORD_ENTRY_SIZE 40
#define STATUS_RECORD_ATTRIBUTES \
  (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)
#define LOWEST_SUPPORTED_FW_VERSION 0x13000100u
#define LAST_ATTEMPT_STATUS_SUCCESS 0u
#define LAST_ATTEMPT_STATUS_UNSUCCESSFUL 1u

// Program-wide; empty at image load.
extern EFI_SYSTEM_RESOURCE_ENTRY *StatusRecord;
extern UINTN StatusRecordSize;
extern PLATFORM_I2C_ACCESS_PROTOCOL *I2cProtocol;

extern "C" EFI_STATUS EFIAPI TouchUpdateEntry(EFI_HANDLE ImageHandle,
                                               EFI_SYSTEM_TABLE *SystemTable);
EFI_STATUS UpdateMain(VOID);
// Length is the package text's length in characters (a NUL follows it): the
// head and the sections are checked against it before they are read.
EFI_STATUS RunUpdate(const CHAR8 *PackageText, UINT32 PackageLength);

EFI_STATUS OpenStatusRecord(VOID);
VOID MarkUpdateAttempt(VOID);
EFI_STATUS CloseStatusRecord(EFI_STATUS VersionStatus, UINT32 VersionWord);
// Frees the record if one is held; the variable keeps what was last stored.
VOID ReleaseStatusRecord(VOID);

#endif  // TOUCH_DRIVER_DRIVER_H_
