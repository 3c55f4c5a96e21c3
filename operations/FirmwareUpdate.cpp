// Firmware update through the bootloader: not built yet. Until it is, it
// fails, so that no run can look successful on an unbuilt step.
#include "operations/Operations.h"

EFI_STATUS FlashFirmware(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section, UINT32 Length) {
  (void)I2c;
  (void)Section;
  (void)Length;
  return EFI_UNSUPPORTED;
}
