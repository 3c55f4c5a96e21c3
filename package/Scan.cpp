#include "package/Package.h"

PACKAGE_FLAGS PackageFlags;
UINT32 PackageVersion;

BOOLEAN ReadLine(const CHAR8 **, CHAR8 *, UINT32 *) { return FALSE; }
UINT32 ReadHexNumber(const CHAR8 **, UINT32) { return 0; }
UINT8 HexDigitValue(CHAR8) { return 0; }
BOOLEAN ParseHeaderLine(const CHAR8 *) { return FALSE; }
