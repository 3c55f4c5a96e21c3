#include "sim/efi/Console.h"

#include "sim/common/StatusNames.h"

namespace {

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *gConsole;

VOID Flush(CONSOLE_LINE *Line) {
  Line->Text[Line->Length] = 0;
  if (gConsole != nullptr && Line->Length != 0) {
    gConsole->OutputString(gConsole, Line->Text);
  }
  Line->Length = 0;
}

VOID Put(CONSOLE_LINE *Line, CHAR16 Character) {
  // Room is kept for "\r\n" and the terminating NUL.
  if (Line->Length + 3 >= sizeof(Line->Text) / sizeof(Line->Text[0])) {
    Line->Text[Line->Length++] = u'\r';
    Line->Text[Line->Length++] = u'\n';
    Flush(Line);
  }
  Line->Text[Line->Length++] = Character;
}

const CHAR8 kHexDigits[] = "0123456789ABCDEF";

}  // namespace

VOID ConsoleSetup(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut) { gConsole = ConOut; }

VOID LineStart(CONSOLE_LINE *Line) {
  Line->Length = 0;
  LineText(Line, "launcher: ");
}

VOID LineText(CONSOLE_LINE *Line, const CHAR8 *Ascii) {
  for (; *Ascii != 0; ++Ascii) {
    Put(Line, static_cast<CHAR16>(static_cast<UINT8>(*Ascii)));
  }
}

VOID LineHex(CONSOLE_LINE *Line, UINT32 Value, UINTN Digits) {
  LineText(Line, "0x");
  for (UINTN Index = Digits; Index-- != 0;) {
    Put(Line, static_cast<CHAR16>(kHexDigits[(Value >> (Index * 4)) & 0xF]));
  }
}

VOID LineHexByte(CONSOLE_LINE *Line, UINT8 Value) {
  Put(Line, static_cast<CHAR16>(kHexDigits[Value >> 4]));
  Put(Line, static_cast<CHAR16>(kHexDigits[Value & 0xF]));
}

VOID LineDecimal(CONSOLE_LINE *Line, UINT32 Value) {
  CHAR8 Digits[11];
  UINTN Count = 0;
  do {
    Digits[Count++] = static_cast<CHAR8>('0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  while (Count != 0) {
    Put(Line, static_cast<CHAR16>(Digits[--Count]));
  }
}

VOID LineStatus(CONSOLE_LINE *Line, EFI_STATUS Status) {
  LineText(Line, StatusName(Status));
  LineText(Line, " (");
  LineHex(Line, static_cast<UINT32>(Status), 8);
  LineText(Line, ")");
}

VOID LineEnd(CONSOLE_LINE *Line) {
  LineText(Line, "\r\n");
  Flush(Line);
}

VOID PrintLine(const CHAR8 *Ascii) {
  CONSOLE_LINE Line;
  LineStart(&Line);
  LineText(&Line, Ascii);
  LineEnd(&Line);
}

const CHAR8 *StatusName(EFI_STATUS Status) {
  if (const CHAR8 *Name = KnownStatusName(Status)) {
    return Name;
  }
  return EFI_ERROR(Status) ? "EFI_ERROR" : "EFI_WARNING";
}
