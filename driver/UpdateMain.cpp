// The entry point and the order of the whole update: start-up discovery, the
// package head, and the operations the head asks for.
#include "driver/Driver.h"
#include "link/ControllerLink.h"
#include "operations/Operations.h"
#include "package/Package.h"
#include "platform/Library.h"

PLATFORM_I2C_ACCESS_PROTOCOL *I2cProtocol;

// Every head line goes through this buffer, so a head line holds at most
// 1023 characters before its line end.
#define HEAD_LINE_BUFFER_SIZE 1024
// Lines the head reader refuses when longer (or, for the version, shorter).
#define DATE_LINE_MAX_LENGTH 31
#define VERSION_LINE_MIN_LENGTH 8
#define VERSION_LINE_MAX_LENGTH 31
#define SECTION_LENGTH_LINE_MAX_LENGTH 8

#define PACKAGE_VERSION_DIGITS 8

#define PAUSE_BEFORE_RESET_MS 1000
#define PAUSE_AFTER_RESET_MS 3000

extern "C" EFI_STATUS EFIAPI TouchUpdateEntry(EFI_HANDLE ImageHandle,
                                               EFI_SYSTEM_TABLE *SystemTable) {
  LibrarySetup(ImageHandle, SystemTable);
  return UpdateMain();
}

EFI_STATUS UpdateMain(VOID) {
  StatusRecord = nullptr;
  StatusRecordSize = 0;
  I2cProtocol = nullptr;

  StallMs(1);
  EFI_TPL SavedTpl = gBS->RaiseTPL(TPL_HIGH_LEVEL);

  BOOLEAN ControllerFound = TRUE;
  if (EFI_ERROR(FindHidDevice())) {
    StallMs(1);
    ControllerFound = FALSE;
  }

  EFI_GUID I2cGuid = PLATFORM_I2C_ACCESS_PROTOCOL_GUID;
  VOID *Interface = nullptr;
  EFI_STATUS Status = gBS->LocateProtocol(&I2cGuid, nullptr, &Interface);
  if (!EFI_ERROR(Status) && Interface == nullptr) {
    // A lookup that "succeeds" without an instance is as good as none.
    Status = EFI_NOT_FOUND;
  }

  if (EFI_ERROR(Status)) {
    // Every controller access needs the instance, so the run cannot go on;
    // it ends with the lookup's status, the priority restored below.
    StallMs(1);
  } else {
    I2cProtocol = static_cast<PLATFORM_I2C_ACCESS_PROTOCOL *>(Interface);
    if (ControllerFound) {
      // Only what the read leaves behind matters: the object table, from
      // which a flash takes the command object's address.
      UINT32 VersionWord = 0;
      (VOID) ReadVersionWord(I2cProtocol, &VersionWord);
    }

    Status = RunUpdate(gPackageText, gPackageLength);
  }

  gBS->RestoreTPL(SavedTpl);
  if (Status != EFI_SUCCESS) {
    StallMs(1);
  }
  return Status;
}

// Reads one head line without ever looking past the package text: the limit
// shrinks to what is left, so a head that runs off the end of the text fails
// like an over-long line. Only the check for an LF after a line end may look
// at the character right after the text, which is its NUL.
static BOOLEAN ReadHeadLine(const CHAR8 **Cursor, const CHAR8 *TextEnd, CHAR8 *Line,
                            UINT32 *LineLength) {
  UINTN Remaining = *Cursor < TextEnd ? static_cast<UINTN>(TextEnd - *Cursor) : 0;
  *LineLength = Remaining < HEAD_LINE_BUFFER_SIZE ? static_cast<UINT32>(Remaining)
                                                  : HEAD_LINE_BUFFER_SIZE;
  return ReadLine(Cursor, Line, LineLength);
}

EFI_STATUS RunUpdate(const CHAR8 *PackageText, UINT32 PackageLength) {
  CHAR8 Line[HEAD_LINE_BUFFER_SIZE];
  UINT32 LineLength;

  if (PackageText == nullptr) {
    return GENERIC_FAILURE;
  }
  const CHAR8 *TextEnd = PackageText + PackageLength;
  const CHAR8 *Cursor = PackageText;

  // The header line, then any further "<" lines, which are skipped; the
  // first other line is the date line.
  if (!ReadHeadLine(&Cursor, TextEnd, Line, &LineLength)) {
    return GENERIC_FAILURE;
  }
  if (ParseHeaderLine(Line)) {
    do {
      if (!ReadHeadLine(&Cursor, TextEnd, Line, &LineLength)) {
        return GENERIC_FAILURE;
      }
    } while (Line[0] == '<');
  }

  // The date itself means nothing here; the controller wants the time.
  if (LineLength > DATE_LINE_MAX_LENGTH) {
    return GENERIC_FAILURE;
  }
  StallMs(1);
  for (UINT32 Character = 0; Character < LineLength; Character++) {
    StallMs(1);
  }
  StallMs(1);

  // The version takes exactly eight digits: a shorter line would have them
  // read from beyond its end.
  if (!ReadHeadLine(&Cursor, TextEnd, Line, &LineLength) ||
      LineLength < VERSION_LINE_MIN_LENGTH || LineLength > VERSION_LINE_MAX_LENGTH) {
    return GENERIC_FAILURE;
  }
  const CHAR8 *Digits = Line;
  PackageVersion = ReadHexNumber(&Digits, PACKAGE_VERSION_DIGITS);
  StallMs(1);

  // THQA, configuration and firmware section lengths; more than eight digits
  // would not fit the 32-bit length.
  UINT32 SectionLength[3];
  for (UINT32 Section = 0; Section < 3; Section++) {
    if (!ReadHeadLine(&Cursor, TextEnd, Line, &LineLength) ||
        LineLength > SECTION_LENGTH_LINE_MAX_LENGTH) {
      return GENERIC_FAILURE;
    }
    Digits = Line;
    SectionLength[Section] = ReadHexNumber(&Digits, LineLength);
  }
  UINT32 ThqaLength = SectionLength[0];
  UINT32 ConfigLength = SectionLength[1];
  UINT32 FirmwareLength = SectionLength[2];

  // The operations read their sections by length alone, so sections that do
  // not fit the text are refused before anything runs. The sum is taken in
  // 64 bits so that no length can wrap it back into range.
  UINT64 HeadLength = static_cast<UINT64>(Cursor - PackageText);
  if (HeadLength + ThqaLength + ConfigLength + FirmwareLength > PackageLength) {
    return GENERIC_FAILURE;
  }
  const CHAR8 *ThqaSection = Cursor;
  const CHAR8 *ConfigSection = ThqaSection + ThqaLength;
  const CHAR8 *FirmwareSection = ConfigSection + ConfigLength;

  BOOLEAN FirmwareRequested = PackageFlags.FwOn && FirmwareLength != 0;
  BOOLEAN ConfigRequested = PackageFlags.CfgOn && ConfigLength != 0;
  BOOLEAN ThqaRequested = PackageFlags.ThqaOn && ThqaLength != 0;

  EFI_STATUS Status;
  if (!FirmwareRequested && !ConfigRequested) {
    if (!ThqaRequested) {
      return EFI_SUCCESS;
    }
    Status = WriteThqaBlob(ThqaSection, ThqaLength, I2cProtocol);
    if (!EFI_ERROR(Status)) {
      StallMs(1);
    }
    return Status;
  }

  Status = OpenStatusRecord();
  if (EFI_ERROR(Status)) {
    return Status;
  }
  if (FirmwareRequested) {
    Status = FlashFirmware(I2cProtocol, FirmwareSection, FirmwareLength);
    if (EFI_ERROR(Status)) {
      ReleaseStatusRecord();
      return Status;
    }
  }
  if (ConfigRequested) {
    Status = UpdateConfiguration(I2cProtocol, ConfigSection, ConfigLength);
    if (EFI_ERROR(Status)) {
      ReleaseStatusRecord();
      return Status;
    }
  }

  // A failed version read or store is carried in the result but stops
  // nothing: the THQA transfer and the reset still run.
  UINT32 VersionWord = 0;
  EFI_STATUS VersionStatus = ReadVersionWord(I2cProtocol, &VersionWord);
  EFI_STATUS Result = CloseStatusRecord(VersionStatus, VersionWord);

  if (ThqaRequested) {
    Result = WriteThqaBlob(ThqaSection, ThqaLength, I2cProtocol);
    if (EFI_ERROR(Result)) {
      return Result;
    }
    StallMs(1);
  }

  StallMs(PAUSE_BEFORE_RESET_MS);
  if (ResetController(I2cProtocol) != EFI_SUCCESS) {
    StallMs(1);
  }
  StallMs(PAUSE_AFTER_RESET_MS);
  return Result;
}
