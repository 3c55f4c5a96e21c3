// The library pieces the application is built on: the entry-point set-up of
// the global table pointers, memory helpers, pool helpers, assertions and the
// interrupt-line register seam.
#ifndef TOUCH_PLATFORM_LIBRARY_H_
#define TOUCH_PLATFORM_LIBRARY_H_

#include "platform/Uefi.h"

extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
extern EFI_RUNTIME_SERVICES *gRT;

// Stores the image handle and table pointers, asserting each is non-null.
VOID LibrarySetup(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

// Byte copies and fills go through the boot services so the platform sees them.
VOID *CopyMem(VOID *Destination, const VOID *Source, UINTN Length);
VOID *SetMem(VOID *Buffer, UINTN Length, UINT8 Value);
VOID *ZeroMem(VOID *Buffer, UINTN Length);

// EfiBootServicesData pool, zero-filled. Null when the pool service fails.
VOID *AllocateZeroPool(UINTN AllocationSize);
VOID FreePool(VOID *Buffer);

// Assertion reporting. The product image cannot print (the run holds
// TPL_HIGH_LEVEL), so it counts; the host platform records it in its trace.
VOID DebugAssert(const CHAR8 *FileName, UINTN LineNumber, const CHAR8 *Description);
#define ASSERT(Expression)                                 \
  do {                                                     \
    if (!(Expression)) {                                   \
      DebugAssert(__FILE__, __LINE__, #Expression);        \
    }                                                      \
  } while (0)
#define ASSERT_EFI_ERROR(Status) ASSERT(!EFI_ERROR(Status))

// The GPIO input register whose bit 30 mirrors the controller's interrupt
// line (clear = asserted). The image reads physical 0xFF119004; the host
// build links the simulator's.
#define INTERRUPT_LINE_REGISTER_ADDRESS 0xFF119004u
#define INTERRUPT_LINE_BIT (1u << 30)
UINT32 ReadInterruptLineRegister(VOID);

#endif  // TOUCH_PLATFORM_LIBRARY_H_
