// Register reads and writes carried in HID output and input reports.
#include "link/ControllerLink.h"
#include "platform/Library.h"

#define REQUEST_REPORT_LENGTH 0x14  // bytes 2-21 of the request, this field included
#define REQUEST_REPORT_ID 0x06
#define REQUEST_REGISTER_ACCESS 0x51
#define REQUEST_ADDRESS_BYTES 2
#define REQUEST_DATA_OFFSET 10

#define REPLY_STATUS_OFFSET 3
#define REPLY_COUNT_OFFSET 4
#define REPLY_DATA_OFFSET 5

static_assert(REQUEST_DATA_OFFSET + REGISTER_WRITE_CHUNK == REGISTER_REQUEST_LENGTH,
              "write data fills the request");
static_assert(REPLY_DATA_OFFSET + REGISTER_READ_CHUNK == REGISTER_REPLY_LENGTH,
              "read data fills the reply");

VOID BuildRegisterRequest(UINT8 *Request, UINT8 WriteCount, UINT8 ReadCount, UINT16 Address,
                          const UINT8 *Data, UINT8 DataLength) {
  ZeroMem(Request, REGISTER_REQUEST_LENGTH);
  Request[0] = static_cast<UINT8>(ControllerState.OutputRegister & 0xFF);
  Request[1] = static_cast<UINT8>(ControllerState.OutputRegister >> 8);
  Request[2] = REQUEST_REPORT_LENGTH;
  Request[3] = 0x00;
  Request[4] = REQUEST_REPORT_ID;
  Request[5] = REQUEST_REGISTER_ACCESS;
  Request[6] = WriteCount;
  Request[7] = ReadCount;
  Request[8] = static_cast<UINT8>(Address & 0xFF);
  Request[9] = static_cast<UINT8>(Address >> 8);
  if (Data != nullptr && DataLength != 0) {
    if (DataLength > REGISTER_WRITE_CHUNK) {
      DataLength = REGISTER_WRITE_CHUNK;
    }
    CopyMem(Request + REQUEST_DATA_OFFSET, Data, DataLength);
  }
}

// One request and its reply: write, wait for the line, read. The write's
// status is not looked at; a lost request shows up as a missing reply.
// Returns FALSE when the line never asserted; otherwise *ReadStatus holds the
// status of the reply read.
static BOOLEAN ExchangeRequest(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const UINT8 *Request,
                               UINT8 *Reply, EFI_STATUS *ReadStatus) {
  I2cWrite(I2c, APPLICATION_SLAVE_ADDRESS, Request, REGISTER_REQUEST_LENGTH);
  if (!WaitForInterruptLine()) {
    return FALSE;
  }
  *ReadStatus = I2cRead(I2c, APPLICATION_SLAVE_ADDRESS, Reply, REGISTER_REPLY_LENGTH);
  return TRUE;
}

// One read request for Asked bytes (1 to 15) at Address. On success, copies
// the reply's bytes to Destination and sets *Carried to their number.
//
// The reply count comes from the controller. A count above what was asked
// (which is never above 15) does not answer this request, so the reply is
// rejected whole rather than trusted in part; this also keeps the copy inside
// both the reply and the destination.
static EFI_STATUS ReadOneRequest(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT16 Address, UINT8 Asked,
                                 UINT8 *Destination, UINT8 *Carried) {
  UINT8 Request[REGISTER_REQUEST_LENGTH];
  UINT8 Reply[REGISTER_REPLY_LENGTH];
  BuildRegisterRequest(Request, REQUEST_ADDRESS_BYTES, Asked, Address, nullptr, 0);

  EFI_STATUS Status = EFI_SUCCESS;
  if (!ExchangeRequest(I2c, Request, Reply, &Status) || EFI_ERROR(Status) ||
      Reply[REPLY_STATUS_OFFSET] != 0 || Reply[REPLY_COUNT_OFFSET] > Asked) {
    StallMs(1);
    return GENERIC_FAILURE;
  }

  UINT8 Count = Reply[REPLY_COUNT_OFFSET];
  CopyMem(Destination, Reply + REPLY_DATA_OFFSET, Count);
  *Carried = Count;
  return Status;
}

EFI_STATUS ReadRegisters(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT16 Address, UINT16 Count,
                         VOID *Destination) {
  UINT8 *Next = static_cast<UINT8 *>(Destination);
  UINT32 Remaining = Count;
  EFI_STATUS Result = EFI_SUCCESS;

  // Full requests advance by what each reply carries, so a short reply is
  // followed by a request for the bytes it left out.
  while (Remaining >= REGISTER_READ_CHUNK) {
    UINT8 Carried = 0;
    Result = ReadOneRequest(I2c, Address, REGISTER_READ_CHUNK, Next, &Carried);
    if (EFI_ERROR(Result)) {
      return Result;
    }
    if (Carried == 0) {
      // An empty reply makes no progress; asking again could go on forever.
      StallMs(1);
      return GENERIC_FAILURE;
    }
    Next += Carried;
    Address = static_cast<UINT16>(Address + Carried);
    Remaining -= Carried;
  }

  // The tail request is made once, even when its reply carries fewer bytes.
  if (Remaining != 0) {
    UINT8 Carried = 0;
    Result = ReadOneRequest(I2c, Address, static_cast<UINT8>(Remaining), Next, &Carried);
  }
  return Result;
}

EFI_STATUS WriteRegisters(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT16 Address, UINT16 Count,
                          const VOID *Source) {
  const UINT8 *Next = static_cast<const UINT8 *>(Source);
  UINT32 Remaining = Count;
  EFI_STATUS Result = EFI_SUCCESS;
  UINT8 Request[REGISTER_REQUEST_LENGTH];
  UINT8 Reply[REGISTER_REPLY_LENGTH];

  // A write reply is only an acknowledgement: neither its status nor its
  // count is looked at.
  while (Remaining != 0) {
    UINT8 Chunk = Remaining >= REGISTER_WRITE_CHUNK ? REGISTER_WRITE_CHUNK
                                                    : static_cast<UINT8>(Remaining);
    BuildRegisterRequest(Request, static_cast<UINT8>(REQUEST_ADDRESS_BYTES + Chunk), 0, Address,
                         Next, Chunk);
    if (!ExchangeRequest(I2c, Request, Reply, &Result)) {
      return GENERIC_FAILURE;
    }
    if (EFI_ERROR(Result)) {
      return Result;
    }
    Next += Chunk;
    Address = static_cast<UINT16>(Address + Chunk);
    Remaining -= Chunk;
  }
  return Result;
}
