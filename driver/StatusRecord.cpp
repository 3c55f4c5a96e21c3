#include "driver/Driver.h"

EFI_SYSTEM_RESOURCE_ENTRY *StatusRecord;
UINTN StatusRecordSize;

EFI_STATUS OpenStatusRecord(VOID) { return EFI_UNSUPPORTED; }
VOID MarkUpdateAttempt(VOID) {}
EFI_STATUS CloseStatusRecord(EFI_STATUS, UINT32) { return EFI_UNSUPPORTED; }
