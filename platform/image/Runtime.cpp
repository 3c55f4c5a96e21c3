// The few runtime pieces a freestanding IA32 image needs: clang emits calls
// to memset/memcpy for large clears and copies, and there is no C library.
#include "platform/Library.h"

extern "C" {

void *memset(void *Buffer, int Value, size_t Length) {
  volatile UINT8 *Bytes = static_cast<volatile UINT8 *>(Buffer);
  while (Length-- != 0) {
    *Bytes++ = static_cast<UINT8>(Value);
  }
  return Buffer;
}

void *memcpy(void *Destination, const void *Source, size_t Length) {
  volatile UINT8 *To = static_cast<volatile UINT8 *>(Destination);
  const UINT8 *From = static_cast<const UINT8 *>(Source);
  while (Length-- != 0) {
    *To++ = *From++;
  }
  return Destination;
}

void *memmove(void *Destination, const void *Source, size_t Length) {
  volatile UINT8 *To = static_cast<volatile UINT8 *>(Destination);
  const UINT8 *From = static_cast<const UINT8 *>(Source);
  if (To < From) {
    while (Length-- != 0) {
      *To++ = *From++;
    }
  } else {
    while (Length-- != 0) {
      To[Length] = From[Length];
    }
  }
  return Destination;
}

// lld-link looks for this symbol when floating point code is present.
int _fltused = 0;
}
