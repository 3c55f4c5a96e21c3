// The update package: its text format and the scanning routines every reader
// of it shares.
#ifndef TOUCH_PACKAGE_PACKAGE_H_
#define TOUCH_PACKAGE_PACKAGE_H_

#include "platform/Uefi.h"

typedef struct {
  BOOLEAN ThqaOn;
  BOOLEAN CfgOn;
  BOOLEAN FwOn;
} PACKAGE_FLAGS;

// Program-wide, set while the package head is read; clear at image load.
extern PACKAGE_FLAGS PackageFlags;
extern UINT32 PackageVersion;

// Reads one line at *Cursor into Destination (at least *Limit characters).
// On success the line end is replaced by a NUL, *Limit receives the length
// and *Cursor stands after the line end.
BOOLEAN ReadLine(const CHAR8 **Cursor, CHAR8 *Destination, UINT32 *Limit);
UINT32 ReadHexNumber(const CHAR8 **Cursor, UINT32 DigitCount);
UINT8 HexDigitValue(CHAR8 Character);
BOOLEAN ParseHeaderLine(const CHAR8 *Line);

// The package compiled into the image: Length characters followed by a NUL.
extern const CHAR8 gEmbeddedPackage[];
extern const UINT32 gEmbeddedPackageLength;

// The package this image runs: the embedded one, as the image is loaded.
// The host simulator points them at another NUL-terminated text before the
// entry point runs, as if the image had been built with that package.
extern const CHAR8 *gPackageText;
extern UINT32 gPackageLength;

#endif  // TOUCH_PACKAGE_PACKAGE_H_
