// Line-oriented output on the firmware console. OVMF mirrors ConOut to the
// serial port, which is where the QEMU tests read the report.
#ifndef TOUCH_SIM_EFI_CONSOLE_H_
#define TOUCH_SIM_EFI_CONSOLE_H_

#include "platform/Uefi.h"

// One report line under construction. Lines longer than the buffer are
// flushed early and continue on the next console line.
typedef struct {
  CHAR16 Text[1024];  // room for a 256-byte object as hex
  UINTN Length;
} CONSOLE_LINE;

VOID ConsoleSetup(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut);
VOID LineStart(CONSOLE_LINE *Line);  // starts with the "launcher: " prefix every report line carries
VOID LineText(CONSOLE_LINE *Line, const CHAR8 *Ascii);
VOID LineHex(CONSOLE_LINE *Line, UINT32 Value, UINTN Digits);  // "0x" and exactly Digits digits
VOID LineHexByte(CONSOLE_LINE *Line, UINT8 Value);             // two digits, no prefix
VOID LineDecimal(CONSOLE_LINE *Line, UINT32 Value);
VOID LineStatus(CONSOLE_LINE *Line, EFI_STATUS Status);         // "EFI_NOT_FOUND (0x8000000E)"
VOID LineEnd(CONSOLE_LINE *Line);

// A whole line of ASCII text, prefixed.
VOID PrintLine(const CHAR8 *Ascii);

const CHAR8 *StatusName(EFI_STATUS Status);

#endif  // TOUCH_SIM_EFI_CONSOLE_H_
