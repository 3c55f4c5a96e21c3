// The image's side of the platform seams: the real interrupt-line register and
// the assertion counter.
#include "platform/Library.h"

UINT32 ReadInterruptLineRegister(VOID) {
  // Boot-time memory is identity-mapped, so the physical address is a pointer.
  return *reinterpret_cast<volatile UINT32 *>(static_cast<UINTN>(INTERRUPT_LINE_REGISTER_ADDRESS));
}

// Nothing can be printed at TPL_HIGH_LEVEL; the count is there for a debugger.
volatile UINTN gAssertionFailures;

VOID DebugAssert(const CHAR8 *FileName, UINTN LineNumber, const CHAR8 *Description) {
  (void)FileName;
  (void)LineNumber;
  (void)Description;
  gAssertionFailures = gAssertionFailures + 1;
}
