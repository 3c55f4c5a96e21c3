// The controller's information block, its object table, the values derived
// from the table and the version word.
#include "link/ControllerLink.h"
#include "platform/Library.h"

#define INFO_BLOCK_ADDRESS 0
#define INFO_BLOCK_VERSION_HIGH 2
#define INFO_BLOCK_VERSION_LOW 3
#define INFO_BLOCK_OBJECT_COUNT 6
#define VERSION_OBJECT_BYTES 2

static_assert(OBJECT_TABLE_CAPACITY >= 255, "the table holds every count one byte can announce");

EFI_STATUS ReadObjectTable(PLATFORM_I2C_ACCESS_PROTOCOL *I2c) {
  if (ControllerState.ObjectTableRead) {
    return EFI_SUCCESS;
  }

  // Seven bytes are one request, and a failed request copies nothing, so a
  // failure leaves the cached block as it was.
  EFI_STATUS Status =
      ReadRegisters(I2c, INFO_BLOCK_ADDRESS, INFO_BLOCK_LENGTH, ControllerState.InfoBlock);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  ControllerState.ObjectCount = ControllerState.InfoBlock[INFO_BLOCK_OBJECT_COUNT];

  // Report IDs are numbered from 1 in table order with an 8-bit counter, as
  // the controller itself numbers them; the derived fields keep their earlier
  // values when the table holds no such object.
  UINT8 ReportIdCounter = 0;
  for (UINT32 Index = 0; Index < ControllerState.ObjectCount; Index++) {
    OBJECT_ENTRY *Entry = &ControllerState.ObjectTable[Index];
    UINT16 EntryAddress =
        static_cast<UINT16>(INFO_BLOCK_LENGTH + OBJECT_ENTRY_LENGTH * Index);
    // A failed entry read keeps what the entry held; the rest of the table is
    // still worth having, so it goes unreported.
    ReadRegisters(I2c, EntryAddress, OBJECT_ENTRY_LENGTH, Entry);

    if (Entry->Type == OBJECT_TYPE_COMMAND) {
      ControllerState.CommandObjectAddress = ObjectStartAddress(Entry);
    }
    if (Entry->ReportIdsPerInstance != 0) {
      UINT32 Instances = Entry->InstancesMinusOne + 1u;
      ReportIdCounter =
          static_cast<UINT8>(ReportIdCounter + Instances * Entry->ReportIdsPerInstance);
      if (Entry->Type == OBJECT_TYPE_COMMAND) {
        ControllerState.CommandReportId = ReportIdCounter;
      }
      if (Entry->Type == OBJECT_TYPE_DATA_TRANSFER) {
        ControllerState.DataTransferReportId = ReportIdCounter;
      }
    }
  }

  ControllerState.ObjectTableRead = TRUE;
  return EFI_SUCCESS;
}

BOOLEAN FindObject(UINT8 Type, UINT8 *Index) {
  UINT32 Count = ControllerState.ObjectCount;
  if (Count > OBJECT_TABLE_CAPACITY) {
    Count = OBJECT_TABLE_CAPACITY;
  }
  for (UINT32 Position = 0; Position < Count; Position++) {
    if (ControllerState.ObjectTable[Position].Type == Type) {
      *Index = static_cast<UINT8>(Position);
      return TRUE;
    }
  }
  return FALSE;
}

EFI_STATUS ReadVersionWord(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT32 *VersionWord) {
  EFI_STATUS Status = ReadObjectTable(I2c);
  if (EFI_ERROR(Status)) {
    return Status;
  }

  UINT8 VersionBytes[VERSION_OBJECT_BYTES] = {0, 0};
  UINT8 Index = 0;
  if (FindObject(OBJECT_TYPE_VERSION, &Index)) {
    Status = ReadRegisters(I2c, ObjectStartAddress(&ControllerState.ObjectTable[Index]),
                           VERSION_OBJECT_BYTES, VersionBytes);
    if (EFI_ERROR(Status)) {
      StallMs(1);
      VersionBytes[0] = 0;
      VersionBytes[1] = 0;
    }
  } else {
    // Without a version object the low half is unknown. A failure keeps a
    // half-known word out of the status record, which stores the word only
    // after a success.
    StallMs(1);
    Status = GENERIC_FAILURE;
  }

  // The word is handed out even after a failure; only its low half is then 0.
  *VersionWord = (static_cast<UINT32>(ControllerState.InfoBlock[INFO_BLOCK_VERSION_HIGH]) << 24) |
                 (static_cast<UINT32>(ControllerState.InfoBlock[INFO_BLOCK_VERSION_LOW]) << 16) |
                 (static_cast<UINT32>(VersionBytes[0]) << 8) | VersionBytes[1];
  StallMs(1);
  return Status;
}
