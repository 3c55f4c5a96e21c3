// Controller operations: the command object, the configuration update, the
// firmware update through the bootloader and the THQA blob transfer.
#ifndef TOUCH_OPERATIONS_OPERATIONS_H_
#define TOUCH_OPERATIONS_OPERATIONS_H_

#include "platform/Protocols.h"

// Command object.
EFI_STATUS WriteCommandByte(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, UINT8 Value);
EFI_STATUS ResetController(PLATFORM_I2C_ACCESS_PROTOCOL *I2c);
EFI_STATUS CommitConfiguration(PLATFORM_I2C_ACCESS_PROTOCOL *I2c);

// Configuration update.
EFI_STATUS UpdateConfiguration(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section,
                               UINT32 Length);
EFI_STATUS ClearObjects(PLATFORM_I2C_ACCESS_PROTOCOL *I2c);
EFI_STATUS WriteConfigObjects(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section,
                              UINT32 Length);

// Firmware update through the bootloader.
EFI_STATUS FlashFirmware(PLATFORM_I2C_ACCESS_PROTOCOL *I2c, const CHAR8 *Section, UINT32 Length);

// THQA blob transfer.
EFI_STATUS WriteThqaBlob(const CHAR8 *Section, UINT32 Length, PLATFORM_I2C_ACCESS_PROTOCOL *I2c);

#endif  // TOUCH_OPERATIONS_OPERATIONS_H_
