// Operations on the controller's command object: command values, the reset and
// the configuration commit with its wait for the command object's message.
#include "link/ControllerLink.h"
#include "operations/Operations.h"
#include "platform/Library.h"

#define COMMAND_RESET_OFFSET 0
#define COMMAND_BYTE_OFFSET 1
#define COMMAND_RESET_VALUE 0x01
#define COMMAND_COMMIT_VALUE 0x55

#define MESSAGE_BUFFER_LENGTH 16
#define MESSAGE_EMPTY 0xFF
#define COMMIT_MESSAGE_READS 500
#define COMMIT_SETTLE_MS 2000
#define MESSAGE_EMPTY_PAUSE_MS 300
#define COMMIT_DONE_PAUSE_MS 1000

EFI_STATUS WriteCommandByte(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 Value) {
  EFI_STATUS Status = ReadObjectTable(I2c);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  UINT16 Address = static_cast<UINT16>(ControllerState.CommandObjectAddress + COMMAND_BYTE_OFFSET);
  return WriteRegisters(I2c, Address, 1, &Value);
}

EFI_STATUS ResetController(PLATFORM_I2C_ACCESS_PROTOCOL *I2c) {
  EFI_STATUS Status = ReadObjectTable(I2c);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  // The controller restarts on this byte and may never answer the request,
  // so it goes out as a bare request: no line wait, no reply read.
  UINT8 Request[REGISTER_REQUEST_LENGTH];
  UINT8 Value = COMMAND_RESET_VALUE;
  BuildRegisterRequest(Request, 3, 0,
                       static_cast<UINT16>(ControllerState.CommandObjectAddress +
                                           COMMAND_RESET_OFFSET),
                       &Value, 1);
  return I2cWrite(I2c, APPLICATION_SLAVE_ADDRESS, Request, REGISTER_REQUEST_LENGTH);
}

EFI_STATUS CommitConfiguration(PLATFORM_I2C_ACCESS_PROTOCOL *I2c) {
  EFI_STATUS Status = ReadObjectTable(I2c);
  if (EFI_ERROR(Status)) {
    StallMs(1);
    return Status;
  }

  // A warning counts as not committed as well: the wait would then be for a
  // message that may never come.
  Status = WriteCommandByte(I2c, COMMAND_COMMIT_VALUE);
  if (Status != EFI_SUCCESS) {
    return Status;
  }

  UINT8 Expected = ControllerState.CommandReportId;
  UINT8 Index;
  if (!FindObject(OBJECT_TYPE_MESSAGE, &Index)) {
    StallMs(1);
    return GENERIC_FAILURE;
  }
  const OBJECT_ENTRY *Message = &ControllerState.ObjectTable[Index];
  UINT16 MessageLength = Message->SizeMinusOne;
  // Each read takes one byte less than the object holds. A one-byte object
  // would read nothing and a message longer than the buffer would overrun it:
  // neither can carry the answer, so such a table is refused before the wait.
  if (MessageLength == 0 || MessageLength > MESSAGE_BUFFER_LENGTH) {
    StallMs(1);
    return GENERIC_FAILURE;
  }
  UINT16 MessageAddress = ObjectStartAddress(Message);

  StallMs(COMMIT_SETTLE_MS);

  UINT8 Buffer[MESSAGE_BUFFER_LENGTH];
  EFI_STATUS Result = GENERIC_FAILURE;
  for (UINT32 Read = 0; Read < COMMIT_MESSAGE_READS; Read++) {
    // A reply that brings no bytes must not pass for a message, nor repeat
    // the last one: each read starts from an empty queue.
    SetMem(Buffer, sizeof(Buffer), MESSAGE_EMPTY);
    Status = ReadRegisters(I2c, MessageAddress, MessageLength, Buffer);
    if (EFI_ERROR(Status)) {
      StallMs(1);
      return Status;
    }
    // The report ID is tested first: with a report ID of 0xFF an "empty"
    // byte is the answer.
    if (Buffer[0] == Expected) {
      Result = Status;
      break;
    }
    if (Buffer[0] == MESSAGE_EMPTY) {
      StallMs(MESSAGE_EMPTY_PAUSE_MS);
    }
    // Any other byte 0 is another object's message: dropped, read on at once.
  }

  StallMs(COMMIT_DONE_PAUSE_MS);
  return Result;
}
