// Names of the statuses the application and the platforms return. The host
// simulator and the launcher on real firmware share them, so that their
// reports of the same run read alike and can be compared line for line.
#ifndef TOUCH_SIM_COMMON_STATUS_NAMES_H_
#define TOUCH_SIM_COMMON_STATUS_NAMES_H_

#include "platform/Uefi.h"

// The name of a known status, or null.
inline const CHAR8 *KnownStatusName(EFI_STATUS Status) {
  struct STATUS_NAME {
    EFI_STATUS Status;
    const CHAR8 *Name;
  };
  static const STATUS_NAME kNames[] = {
      {EFI_SUCCESS, "EFI_SUCCESS"},
      {EFI_LOAD_ERROR, "EFI_LOAD_ERROR"},
      {EFI_INVALID_PARAMETER, "EFI_INVALID_PARAMETER"},
      {EFI_UNSUPPORTED, "EFI_UNSUPPORTED"},
      {EFI_BAD_BUFFER_SIZE, "EFI_BAD_BUFFER_SIZE"},
      {EFI_BUFFER_TOO_SMALL, "EFI_BUFFER_TOO_SMALL"},
      {EFI_NOT_READY, "EFI_NOT_READY"},
      {EFI_DEVICE_ERROR, "EFI_DEVICE_ERROR"},
      {EFI_WRITE_PROTECTED, "EFI_WRITE_PROTECTED"},
      {EFI_OUT_OF_RESOURCES, "EFI_OUT_OF_RESOURCES"},
      {EFI_NOT_FOUND, "EFI_NOT_FOUND"},
      {EFI_ACCESS_DENIED, "EFI_ACCESS_DENIED"},
      {EFI_NO_RESPONSE, "EFI_NO_RESPONSE"},
      {EFI_TIMEOUT, "EFI_TIMEOUT"},
      {EFI_ABORTED, "EFI_ABORTED"},
      {EFI_SECURITY_VIOLATION, "EFI_SECURITY_VIOLATION"},
      {GENERIC_FAILURE, "GENERIC_FAILURE"},
      {EFI_WARN_UNKNOWN_GLYPH, "EFI_WARN_UNKNOWN_GLYPH"},
      {EFI_WARN_DELETE_FAILURE, "EFI_WARN_DELETE_FAILURE"},
      {EFI_WARN_WRITE_FAILURE, "EFI_WARN_WRITE_FAILURE"},
      {EFI_WARN_BUFFER_TOO_SMALL, "EFI_WARN_BUFFER_TOO_SMALL"},
  };
  for (const STATUS_NAME &Entry : kNames) {
    if (Entry.Status == Status) {
      return Entry.Name;
    }
  }
  return nullptr;
}

#endif  // TOUCH_SIM_COMMON_STATUS_NAMES_H_
