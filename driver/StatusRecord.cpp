// The firmware status record: one EFI_SYSTEM_RESOURCE_ENTRY for the touch
// controller, kept in the non-volatile variable BX_ESRT.
#include "driver/Driver.h"
#include "link/ControllerLink.h"
#include "package/Package.h"
#include "platform/Library.h"

EFI_SYSTEM_RESOURCE_ENTRY *StatusRecord;
UINTN StatusRecordSize;

// The variable services take non-const pointers, so these are writable.
static CHAR16 mStatusVariableName[] = u"BX_ESRT";
static EFI_GUID mStatusVariableGuid = TOUCH_STATUS_VARIABLE_GUID;

VOID ReleaseStatusRecord(VOID) {
  if (StatusRecord != nullptr) {
    FreePool(StatusRecord);
    StatusRecord = nullptr;
  }
}

static EFI_STATUS StoreStatusRecord(VOID) {
  return gRT->SetVariable(mStatusVariableName, &mStatusVariableGuid, STATUS_RECORD_ATTRIBUTES,
                          StatusRecordSize, StatusRecord);
}

EFI_STATUS OpenStatusRecord(VOID) {
  // Opened once per run; a record still held would otherwise leak.
  ReleaseStatusRecord();

  UINTN DataSize = 0;
  EFI_STATUS Status =
      gRT->GetVariable(mStatusVariableName, &mStatusVariableGuid, nullptr, &DataSize, nullptr);
  StatusRecordSize = DataSize;

  if (Status == EFI_NOT_FOUND) {
    StatusRecordSize = STATUS_RECORD_ENTRY_SIZE;
    StatusRecord =
        static_cast<EFI_SYSTEM_RESOURCE_ENTRY *>(AllocateZeroPool(STATUS_RECORD_ENTRY_SIZE));
    if (StatusRecord == nullptr) {
      return EFI_OUT_OF_RESOURCES;
    }
    StatusRecord->LowestSupportedFwVersion = LOWEST_SUPPORTED_FW_VERSION;
    Status = StoreStatusRecord();
  } else if (Status == EFI_BUFFER_TOO_SMALL) {
    // A variable shorter than one entry is still loaded, into a zero-tailed
    // record of a whole entry, so that every field written later lies inside
    // the record; the next store then writes the whole entry.
    UINTN RecordSize = DataSize < STATUS_RECORD_ENTRY_SIZE ? STATUS_RECORD_ENTRY_SIZE : DataSize;
    StatusRecord = static_cast<EFI_SYSTEM_RESOURCE_ENTRY *>(AllocateZeroPool(RecordSize));
    if (StatusRecord == nullptr) {
      return EFI_OUT_OF_RESOURCES;
    }
    Status = gRT->GetVariable(mStatusVariableName, &mStatusVariableGuid, nullptr, &DataSize,
                              StatusRecord);
    if (EFI_ERROR(Status)) {
      ReleaseStatusRecord();
      return EFI_INVALID_PARAMETER;
    }
    StatusRecordSize = RecordSize;
    StallMs(1);
  }

  if (EFI_ERROR(Status)) {
    StallMs(1);
    ReleaseStatusRecord();
    return Status;
  }
  return Status;
}

VOID MarkUpdateAttempt(VOID) {
  if (StatusRecord == nullptr) {
    return;
  }
  StatusRecord->LastAttemptStatus = LAST_ATTEMPT_STATUS_UNSUCCESSFUL;
  StatusRecord->LastAttemptVersion = PackageVersion;
  // The flash goes ahead whether or not the attempt could be recorded.
  StoreStatusRecord();
}

EFI_STATUS CloseStatusRecord(EFI_STATUS VersionStatus, UINT32 VersionWord) {
  if (EFI_ERROR(VersionStatus)) {
    StallMs(1);
    ReleaseStatusRecord();
    return VersionStatus;
  }
  if (StatusRecord == nullptr) {
    return VersionStatus;
  }
  StatusRecord->LastAttemptStatus = LAST_ATTEMPT_STATUS_SUCCESS;
  StatusRecord->FwVersion = VersionWord;
  EFI_STATUS Status = StoreStatusRecord();
  StallMs(1);
  ReleaseStatusRecord();
  return Status;
}
