#include "driver/Driver.h"
#include "package/Package.h"
#include "platform/Library.h"

PLATFORM_I2C_ACCESS_PROTOCOL *I2cProtocol;
const CHAR8 *gPackageText = gEmbeddedPackage;
UINT32 gPackageLength = 0;

extern "C" EFI_STATUS EFIAPI TouchUpdateEntry(EFI_HANDLE ImageHandle,
                                               EFI_SYSTEM_TABLE *SystemTable) {
  LibrarySetup(ImageHandle, SystemTable);
  return UpdateMain();
}

EFI_STATUS UpdateMain(VOID) { return EFI_UNSUPPORTED; }
EFI_STATUS RunUpdate(const CHAR8 *, UINT32) { return EFI_UNSUPPORTED; }
