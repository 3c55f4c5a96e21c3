// The configuration update: zero the controller's objects, write every
// configuration line of the package into the object instance it names, and
// have the controller commit the result.
#include "link/ControllerLink.h"
#include "operations/Operations.h"
#include "package/Package.h"
#include "platform/Library.h"

#define COMMAND_CONFIG_BEGIN 0x33
#define LINE_DATA_CAPACITY 256
#define ZERO_BUFFER_LENGTH 256
// A section ends with fewer characters than this that are not a line.
#define SECTION_END_MARGIN 8
// "TTTT IIII SSSS" and the character after each field, then the final LF.
#define LINE_HEAD_CHARACTERS 15
#define LINE_MINIMUM_CHARACTERS 16
#define CHARACTERS_PER_DATA_BYTE 3

typedef struct {
  UINT32 Type;
  UINT32 Instance;
  UINT32 Size;      // data bytes on the line
  UINT8 Entry;      // first table entry of that type
  UINT16 Address;   // where the instance starts on the controller
} CONFIG_LINE;

static UINT32 Remaining(const CHAR8 *Cursor, const CHAR8 *End) {
  return static_cast<UINT32>(End - Cursor);
}

// Reads the three fields of the line at *Cursor, which must leave the cursor
// at the first data byte, and checks the line against the section end and the
// object table. The package is untrusted: a line that could not be written
// sensibly is refused here, before any of its data is read.
static EFI_STATUS ReadLineHead(const CHAR8 **Cursor, const CHAR8 *End, CONFIG_LINE *Line) {
  const CHAR8 *LineStart = *Cursor;
  if (Remaining(LineStart, End) < LINE_MINIMUM_CHARACTERS) {
    return GENERIC_FAILURE;
  }
  Line->Type = ReadHexNumber(Cursor, 4);
  (*Cursor)++;
  Line->Instance = ReadHexNumber(Cursor, 4);
  (*Cursor)++;
  Line->Size = ReadHexNumber(Cursor, 4);
  (*Cursor)++;

  // The line data buffer holds 256 bytes; a longer line is not written at all
  // rather than cut.
  if (Line->Size > LINE_DATA_CAPACITY) {
    return GENERIC_FAILURE;
  }
  // A line that runs past the end of the section is cut short: refused, so
  // that nothing beyond the section is ever read.
  if (Remaining(LineStart, End) < LINE_MINIMUM_CHARACTERS + CHARACTERS_PER_DATA_BYTE * Line->Size) {
    return GENERIC_FAILURE;
  }
  // The whole number is compared, so a type above 255 matches no entry.
  if (Line->Type > 0xFF || !FindObject(static_cast<UINT8>(Line->Type), &Line->Entry)) {
    return GENERIC_FAILURE;
  }
  const OBJECT_ENTRY *Object = &ControllerState.ObjectTable[Line->Entry];
  // An instance the object does not have would land on whatever lies behind
  // its last instance.
  if (Line->Instance > Object->InstancesMinusOne) {
    return GENERIC_FAILURE;
  }
  Line->Address = static_cast<UINT16>(ObjectStartAddress(Object) +
                                      ObjectSize(Object) * Line->Instance);
  return EFI_SUCCESS;
}

// Walks every line of the section: with Write clear it only checks the lines
// against the section end and the table; with Write set it writes them.
static EFI_STATUS WalkConfigSection(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, BOOLEAN Write,
                                    const CHAR8 *Section, UINT32 Length) {
  if (Section == nullptr || Length <= SECTION_END_MARGIN) {
    return EFI_SUCCESS;
  }
  const CHAR8 *End = Section + Length;
  const CHAR8 *EndMark = End - SECTION_END_MARGIN;
  const CHAR8 *Cursor = Section;
  UINT8 Data[LINE_DATA_CAPACITY];
  EFI_STATUS Status = EFI_SUCCESS;

  while (Cursor < EndMark) {
    CONFIG_LINE Line;
    Status = ReadLineHead(&Cursor, End, &Line);
    if (EFI_ERROR(Status)) {
      return Status;
    }
    if (!Write) {
      Cursor += CHARACTERS_PER_DATA_BYTE * Line.Size + 1;
      continue;
    }
    for (UINT32 Byte = 0; Byte < Line.Size; Byte++) {
      Data[Byte] = static_cast<UINT8>(ReadHexNumber(&Cursor, 2));
      Cursor++;
    }
    Cursor++;

    // The write covers the whole object; what the line does not supply is
    // zero, never a byte left over from an earlier line.
    UINT32 ObjectBytes = ObjectSize(&ControllerState.ObjectTable[Line.Entry]);
    if (Line.Size < ObjectBytes) {
      ZeroMem(Data + Line.Size, ObjectBytes - Line.Size);
    }
    Status = WriteRegisters(I2c, Line.Address, static_cast<UINT16>(ObjectBytes), Data);
    if (EFI_ERROR(Status)) {
      return Status;
    }
  }
  return Status;
}

EFI_STATUS ClearObjects(PLATFORM_I2C_ACCESS_PROTOCOL *I2c) {
  UINT8 Zero[ZERO_BUFFER_LENGTH];
  ZeroMem(Zero, sizeof(Zero));

  EFI_STATUS Status = EFI_SUCCESS;
  for (UINT32 Index = 0; Index < ControllerState.ObjectCount && Index < OBJECT_TABLE_CAPACITY;
       Index++) {
    const OBJECT_ENTRY *Object = &ControllerState.ObjectTable[Index];
    Status = WriteRegisters(I2c, ObjectStartAddress(Object),
                            static_cast<UINT16>(ObjectSize(Object)), Zero);
    if (EFI_ERROR(Status)) {
      return Status;
    }
  }
  return Status;
}

EFI_STATUS WriteConfigObjects(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section,
                              UINT32 Length) {
  // Every line is checked before the first is written, so a bad section
  // never leaves the controller half configured.
  EFI_STATUS Status = WalkConfigSection(nullptr, FALSE, Section, Length);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  return WalkConfigSection(I2c, TRUE, Section, Length);
}

EFI_STATUS UpdateConfiguration(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section,
                               UINT32 Length) {
  // A firmware update may have changed the object table.
  ControllerState.ObjectTableRead = FALSE;

  EFI_STATUS Status = FindHidDevice();
  if (EFI_ERROR(Status)) {
    StallMs(1);
    return Status;
  }
  Status = ReadObjectTable(I2c);
  if (EFI_ERROR(Status)) {
    StallMs(1);
    return Status;
  }

  // The section is checked against the table before the controller hears of
  // the update: a package it cannot take leaves its objects as they were.
  Status = WalkConfigSection(nullptr, FALSE, Section, Length);
  if (EFI_ERROR(Status)) {
    StallMs(1);
    return Status;
  }

  if (WriteCommandByte(I2c, COMMAND_CONFIG_BEGIN) != EFI_SUCCESS) {
    StallMs(1);
  }
  StallMs(100);

  Status = ClearObjects(I2c);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  StallMs(1);

  Status = WriteConfigObjects(I2c, Section, Length);
  StallMs(1);
  if (EFI_ERROR(Status)) {
    return Status;
  }

  // The commit reads the table afresh.
  ControllerState.ObjectTableRead = FALSE;
  StallMs(1);
  StallMs(100);

  Status = CommitConfiguration(I2c);
  StallMs(1);
  if (!EFI_ERROR(Status)) {
    StallMs(1000);
  }
  return Status;
}
