// The scanning routines every reader of the update package shares. They keep
// the package's own loose digit rules on purpose: a character that is not a
// hex digit still yields a value, so the readers never fail on one.
#include "package/Package.h"

PACKAGE_FLAGS PackageFlags;
UINT32 PackageVersion;

#define CHAR_CR 0x0D
#define CHAR_LF 0x0A

BOOLEAN ReadLine(const CHAR8 **Cursor, CHAR8 *Destination, UINT32 *Limit) {
  if (*Limit == 0) {
    return FALSE;
  }
  for (UINT32 Index = 0;; Index++) {
    CHAR8 Character = **Cursor;
    (*Cursor)++;
    Destination[Index] = Character;
    if (Character == CHAR_CR || Character == CHAR_LF) {
      Destination[Index] = '\0';
      *Limit = Index;
      // CR LF and LF LF are one line end each; CR CR ends an empty line.
      if (**Cursor == CHAR_LF) {
        (*Cursor)++;
      }
      return TRUE;
    }
    if (Index + 1 >= *Limit) {
      return FALSE;
    }
  }
}

UINT32 ReadHexNumber(const CHAR8 **Cursor, UINT32 DigitCount) {
  UINT32 Value = 0;
  for (UINT32 Index = 0; Index < DigitCount; Index++) {
    UINT8 Character = static_cast<UINT8>(**Cursor);
    (*Cursor)++;
    UINT32 Digit = static_cast<UINT8>(Character < 0x3C ? Character - 0x30 : Character - 0x37);
    // A digit beyond the eighth has no place in 32 bits; it is consumed all
    // the same so the cursor still moves by DigitCount.
    UINT32 Shift = 4 * (DigitCount - 1 - Index);
    if (Shift < 32) {
      Value |= Digit << Shift;
    }
  }
  return Value;
}

UINT8 HexDigitValue(CHAR8 Character) {
  UINT8 Code = static_cast<UINT8>(Character);
  if (static_cast<UINT8>(Code - 0x30) > 0x36) {
    return 0;
  }
  return static_cast<UINT8>(Code < 0x3C ? Code - 0x30 : Code - 0x37);
}

// The header line is only as long as its NUL says: every look below is
// bounded by Length so nothing past the line is ever read.
static BOOLEAN TextAt(const CHAR8 *Line, UINT32 Length, UINT32 Position, const CHAR8 *Text) {
  for (UINT32 Index = 0; Text[Index] != '\0'; Index++) {
    if (Position + Index >= Length || Line[Position + Index] != Text[Index]) {
      return FALSE;
    }
  }
  return TRUE;
}

static BOOLEAN FindCharacter(const CHAR8 *Line, UINT32 Length, UINT32 From, CHAR8 Wanted,
                             UINT32 *Found) {
  for (UINT32 Position = From; Position < Length; Position++) {
    if (Line[Position] == Wanted) {
      *Found = Position;
      return TRUE;
    }
  }
  return FALSE;
}

BOOLEAN ParseHeaderLine(const CHAR8 *Line) {
  if (Line[0] != '<') {
    return FALSE;
  }
  UINT32 Length = 1;
  while (Line[Length] != '\0') {
    Length++;
  }

  // Each keyword is followed by one unexamined character and its value; the
  // restart points land just behind a two- or three-character value, so an
  // "F" inside a value or in "CFG" is never taken for the start of "FW".
  UINT32 Position = 6;
  if (TextAt(Line, Length, 1, "THQA")) {
    if (TextAt(Line, Length, 6, "ON")) {
      PackageFlags.ThqaOn = TRUE;
      Position = 8;
    } else {
      Position = 9;
    }
  }

  UINT32 Keyword;
  if (FindCharacter(Line, Length, Position, 'C', &Keyword) && TextAt(Line, Length, Keyword, "CFG")) {
    if (TextAt(Line, Length, Keyword + 4, "ON")) {
      PackageFlags.CfgOn = TRUE;
      Position = Keyword + 6;
    } else {
      Position = Keyword + 7;
    }
  }

  if (FindCharacter(Line, Length, Position, 'F', &Keyword) && TextAt(Line, Length, Keyword, "FW") &&
      TextAt(Line, Length, Keyword + 3, "ON")) {
    PackageFlags.FwOn = TRUE;
  }
  return TRUE;
}
