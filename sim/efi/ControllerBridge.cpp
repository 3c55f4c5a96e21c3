#include "sim/efi/ControllerBridge.h"

// Zero-initialised: this image runs no constructors, so the model and the
// records around it must need none.
[[clang::require_constant_initialization]] touchsim::TouchController gModel{};
[[clang::require_constant_initialization]] BRIDGE_COUNTS gBridgeCounts{};

namespace {

[[clang::require_constant_initialization]] touchsim::ControllerConfig gModelConfig{};
[[clang::require_constant_initialization]] touchsim::DeviceFaults gModelFaults{};
EFI_STALL gFirmwareStall;

// The largest block an SMBus block read can carry.
constexpr UINTN kSmbusBlockMax = 32;

EFI_STATUS EFIAPI SmbusExecute(const EFI_SMBUS_HC_PROTOCOL *This,
                               EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                               EFI_SMBUS_DEVICE_COMMAND Command, EFI_SMBUS_OPERATION Operation,
                               BOOLEAN PecCheck, UINTN *Length, VOID *Buffer) {
  (void)This;
  (void)PecCheck;
  gBridgeCounts.SmbusCalls++;
  if (Operation != EfiSmbusReadBlock) {
    return EFI_UNSUPPORTED;
  }
  if (Length == nullptr || Buffer == nullptr || Command > 0xFF) {
    gBridgeCounts.MalformedCalls++;
    return EFI_INVALID_PARAMETER;
  }
  uint32_t Count = static_cast<uint32_t>(*Length > kSmbusBlockMax ? kSmbusBlockMax : *Length);
  if (!gModel.SmbusReadBlock(static_cast<uint8_t>(SlaveAddress.SmbusDeviceAddress),
                             static_cast<uint8_t>(Command), static_cast<uint8_t *>(Buffer),
                             &Count)) {
    gBridgeCounts.SmbusUnacknowledged++;
    return EFI_DEVICE_ERROR;
  }
  *Length = Count;
  return EFI_SUCCESS;
}

bool ArgumentsWellFormed(UINTN Reserved1, UINTN Slave, UINTN Reserved2, UINTN One,
                         const VOID *Buffer, UINTN Length, UINTN MaxLength) {
  return Reserved1 == 0 && Reserved2 == 0 && One == 1 && Slave <= 0x7F && Length <= MaxLength &&
         (Buffer != nullptr || Length == 0);
}

EFI_STATUS EFIAPI I2cRead(UINTN Reserved1, UINTN Slave, UINTN Reserved2, UINTN One,
                          VOID *Buffer, UINTN Length) {
  if (!ArgumentsWellFormed(Reserved1, Slave, Reserved2, One, Buffer, Length, 0xFFFF)) {
    gBridgeCounts.MalformedCalls++;
    return EFI_INVALID_PARAMETER;
  }
  BRIDGE_SLAVE_COUNTS &Counts = gBridgeCounts.Slaves[Slave];
  Counts.Reads++;
  Counts.ReadBytes += static_cast<UINT32>(Length);
  if (!gModel.Read(static_cast<uint8_t>(Slave), static_cast<uint8_t *>(Buffer),
                   static_cast<uint32_t>(Length))) {
    Counts.Unacknowledged++;
    return EFI_NO_RESPONSE;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI I2cWrite(UINTN Reserved1, UINTN Slave, UINTN Reserved2, UINTN One,
                           VOID *Buffer, UINTN Length) {
  if (!ArgumentsWellFormed(Reserved1, Slave, Reserved2, One, Buffer, Length, 255)) {
    gBridgeCounts.MalformedCalls++;
    return EFI_INVALID_PARAMETER;
  }
  BRIDGE_SLAVE_COUNTS &Counts = gBridgeCounts.Slaves[Slave];
  Counts.Writes++;
  Counts.WriteBytes += static_cast<UINT32>(Length);
  if (!gModel.Write(static_cast<uint8_t>(Slave), static_cast<const uint8_t *>(Buffer),
                    static_cast<uint32_t>(Length))) {
    Counts.Unacknowledged++;
    return EFI_NO_RESPONSE;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ModelStall(UINTN Microseconds) {
  gModel.AdvanceTime(Microseconds);
  gBridgeCounts.Pauses++;
  // Kept in two 32-bit parts: the image has no 64-bit division helpers.
  gBridgeCounts.PausedMs += static_cast<UINT32>(Microseconds / 1000);
  gBridgeCounts.PausedUsRemainder += static_cast<UINT32>(Microseconds % 1000);
  if (gBridgeCounts.PausedUsRemainder >= 1000) {
    gBridgeCounts.PausedMs += gBridgeCounts.PausedUsRemainder / 1000;
    gBridgeCounts.PausedUsRemainder %= 1000;
  }
  return gFirmwareStall(Microseconds);
}

// A changed service table gets a fresh checksum, as firmware expects of
// anyone who patches one.
VOID ResealTable(EFI_TABLE_HEADER *Header) {
  Header->CRC32 = 0;
  const UINT8 *Bytes = reinterpret_cast<const UINT8 *>(Header);
  UINT32 Crc = 0xFFFFFFFFu;
  for (UINT32 Index = 0; Index < Header->HeaderSize; ++Index) {
    Crc ^= Bytes[Index];
    for (int Bit = 0; Bit < 8; ++Bit) {
      Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1u)));
    }
  }
  Header->CRC32 = ~Crc;
}

}  // namespace

EFI_SMBUS_HC_PROTOCOL gSmbusInstance = {SmbusExecute, nullptr, nullptr, nullptr};
PLATFORM_I2C_ACCESS_PROTOCOL gI2cInstance = {{nullptr, nullptr}, I2cRead, I2cWrite};

VOID BridgePowerOn(VOID) {
  touchsim::DefaultControllerConfig(&gModelConfig);
  gModel.PowerOn(gModelConfig, gModelFaults);
}

VOID BridgeHookStall(EFI_BOOT_SERVICES *BootServices) {
  gFirmwareStall = BootServices->Stall;
  BootServices->Stall = ModelStall;
  ResealTable(&BootServices->Hdr);
}

VOID BridgeUnhookStall(EFI_BOOT_SERVICES *BootServices) {
  if (gFirmwareStall != nullptr) {
    BootServices->Stall = gFirmwareStall;
    ResealTable(&BootServices->Hdr);
  }
}
