// Finding the controller's HID output register through the platform's SMBus
// host controllers.
#include "link/ControllerLink.h"
#include "platform/Library.h"

// wOutputRegister lies in bytes 12-13 of the HID descriptor, so a block read
// shorter than this carries no output register.
#define HID_OUTPUT_REGISTER_OFFSET 12
#define HID_DESCRIPTOR_MIN_LENGTH (HID_OUTPUT_REGISTER_OFFSET + 2)

// Reads the descriptor through one SMBus host controller. A block read that
// succeeds but hands back too few bytes is that controller's failure:
// bytes 12-13 of the buffer would be left over from nothing.
static EFI_STATUS ReadHidDescriptor(EFI_HANDLE Handle, UINT16 *OutputRegister) {
  EFI_GUID SmbusGuid = EFI_SMBUS_HC_PROTOCOL_GUID;
  EFI_SMBUS_HC_PROTOCOL *Smbus = nullptr;
  EFI_STATUS Status = gBS->HandleProtocol(Handle, &SmbusGuid, reinterpret_cast<VOID **>(&Smbus));
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (Smbus == nullptr) {
    return EFI_DEVICE_ERROR;
  }

  EFI_SMBUS_DEVICE_ADDRESS Slave;
  Slave.SmbusDeviceAddress = APPLICATION_SLAVE_ADDRESS;
  Slave.Reserved = 0;
  UINT8 Descriptor[HID_DESCRIPTOR_LENGTH];
  UINTN Length = HID_DESCRIPTOR_LENGTH;
  Status = Smbus->Execute(Smbus, Slave, 0, EfiSmbusReadBlock, FALSE, &Length, Descriptor);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (Length < HID_DESCRIPTOR_MIN_LENGTH) {
    return EFI_DEVICE_ERROR;
  }
  *OutputRegister = static_cast<UINT16>(Descriptor[HID_OUTPUT_REGISTER_OFFSET] |
                                        (Descriptor[HID_OUTPUT_REGISTER_OFFSET + 1] << 8));
  return Status;
}

EFI_STATUS FindHidDevice(VOID) {
  if (ControllerState.HidDescriptorRead) {
    return EFI_SUCCESS;
  }

  EFI_GUID SmbusGuid = EFI_SMBUS_HC_PROTOCOL_GUID;
  UINTN HandleCount = 0;
  EFI_HANDLE *Handles = nullptr;
  EFI_STATUS Status = gBS->LocateHandleBuffer(ByProtocol, &SmbusGuid, nullptr, &HandleCount,
                                              &Handles);
  if (EFI_ERROR(Status)) {
    StallMs(1);
    return Status;
  }

  // An empty list that the service still calls a success finds nobody.
  EFI_STATUS Result = EFI_NOT_FOUND;
  if (Handles != nullptr) {
    for (UINTN Index = 0; Index < HandleCount; Index++) {
      UINT16 OutputRegister = 0;
      Result = ReadHidDescriptor(Handles[Index], &OutputRegister);
      if (!EFI_ERROR(Result)) {
        ControllerState.OutputRegister = OutputRegister;
        ControllerState.HidDescriptorRead = TRUE;
        break;
      }
    }
    FreePool(Handles);
  }
  return Result;
}
