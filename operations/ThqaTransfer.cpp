// THQA blob transfer: not built yet. Until it is, it fails, so that no run
// can look successful on an unbuilt step.
#include "operations/Operations.h"

EFI_STATUS WriteThqaBlob(const CHAR8 *Section, UINT32 Length, PLATFORM_I2C_ACCESS_PROTOCOL *I2c) {
  (void)Section;
  (void)Length;
  (void)I2c;
  return EFI_UNSUPPORTED;
}
