#include "platform/Library.h"

EFI_HANDLE gImageHandle;
EFI_SYSTEM_TABLE *gST;
EFI_BOOT_SERVICES *gBS;
EFI_RUNTIME_SERVICES *gRT;

VOID LibrarySetup(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gImageHandle = ImageHandle;
  ASSERT(gImageHandle != nullptr);
  gST = SystemTable;
  ASSERT(gST != nullptr);
  gBS = gST != nullptr ? gST->BootServices : nullptr;
  ASSERT(gBS != nullptr);
  gRT = gST != nullptr ? gST->RuntimeServices : nullptr;
  ASSERT(gRT != nullptr);
}

VOID *CopyMem(VOID *Destination, const VOID *Source, UINTN Length) {
  if (Length != 0 && Destination != Source) {
    gBS->CopyMem(Destination, const_cast<VOID *>(Source), Length);
  }
  return Destination;
}

VOID *SetMem(VOID *Buffer, UINTN Length, UINT8 Value) {
  if (Length != 0) {
    gBS->SetMem(Buffer, Length, Value);
  }
  return Buffer;
}

VOID *ZeroMem(VOID *Buffer, UINTN Length) { return SetMem(Buffer, Length, 0); }

VOID *AllocateZeroPool(UINTN AllocationSize) {
  VOID *Buffer = nullptr;
  EFI_STATUS Status = gBS->AllocatePool(EfiBootServicesData, AllocationSize, &Buffer);
  if (EFI_ERROR(Status)) {
    return nullptr;
  }
  return ZeroMem(Buffer, AllocationSize);
}

VOID FreePool(VOID *Buffer) {
  EFI_STATUS Status = gBS->FreePool(Buffer);
  ASSERT_EFI_ERROR(Status);
}
