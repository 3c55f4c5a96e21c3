// Pauses, raw transfers through the platform I2C access protocol and the
// interrupt line.
#include "link/ControllerLink.h"
#include "platform/Library.h"

// The protocol takes at most this many bytes in one write transfer.
#define I2C_WRITE_PIECE 255u

#define LINE_WAIT_POLL_MS 20u
#define LINE_WAIT_MAX_PAUSES 20u

VOID StallMs(UINT32 Milliseconds) {
  // The longest pause asked for is 5000 ms, far inside what a natural-width
  // count of microseconds holds on IA32.
  gBS->Stall(static_cast<UINTN>(Milliseconds) * 1000u);
}

EFI_STATUS I2cRead(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 SlaveAddress, VOID *Buffer,
                   UINT16 Length) {
  if (I2c == nullptr) {
    // The driver only goes on without an instance by mistake; a null call
    // would jump to address 0 on real firmware.
    return EFI_INVALID_PARAMETER;
  }
  return I2c->Read(0, SlaveAddress, 0, 1, Buffer, Length);
}

EFI_STATUS I2cWrite(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 SlaveAddress, const VOID *Buffer,
                    UINT16 Length) {
  if (I2c == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  // The protocol's write function is declared without const; it only reads.
  UINT8 *Bytes = static_cast<UINT8 *>(const_cast<VOID *>(Buffer));
  if (Length <= I2C_WRITE_PIECE) {
    return I2c->Write(0, SlaveAddress, 0, 1, Bytes, Length);
  }

  // Longer writes (bootloader frames) go out as consecutive transfers; the
  // bootloader reassembles them by the frame's own size field.
  EFI_STATUS Status = EFI_SUCCESS;
  UINT32 Offset = 0;
  while (Offset < Length) {
    UINT32 Piece = Length - Offset;
    if (Piece > I2C_WRITE_PIECE) {
      Piece = I2C_WRITE_PIECE;
    }
    Status = I2c->Write(0, SlaveAddress, 0, 1, Bytes + Offset, Piece);
    if (EFI_ERROR(Status)) {
      StallMs(1);
      return Status;
    }
    Offset += Piece;
  }
  return Status;
}

BOOLEAN InterruptLineAsserted(VOID) {
  // The line is active low: a clear bit means the controller has data ready.
  return (ReadInterruptLineRegister() & INTERRUPT_LINE_BIT) == 0 ? TRUE : FALSE;
}

BOOLEAN WaitForInterruptLine(VOID) {
  UINT32 Pauses = 0;
  for (;;) {
    if (InterruptLineAsserted()) {
      return TRUE;
    }
    StallMs(LINE_WAIT_POLL_MS);
    Pauses++;
    if (Pauses >= LINE_WAIT_MAX_PAUSES) {
      // No read after the last pause: the wait costs 400 ms at most.
      return FALSE;
    }
  }
}
