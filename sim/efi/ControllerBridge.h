// The platform side of the bus on real firmware: an SMBus host controller
// protocol and a platform I2C access protocol whose transfers reach the same
// controller model the host simulator uses, plus a note of every transfer.
#ifndef TOUCH_SIM_EFI_CONTROLLER_BRIDGE_H_
#define TOUCH_SIM_EFI_CONTROLLER_BRIDGE_H_

#include "platform/Protocols.h"
#include "sim/device/TouchController.h"

typedef struct {
  UINT32 Writes;
  UINT32 WriteBytes;
  UINT32 Reads;
  UINT32 ReadBytes;
  UINT32 Unacknowledged;  // transfers nobody acknowledged
} BRIDGE_SLAVE_COUNTS;

typedef struct {
  BRIDGE_SLAVE_COUNTS Slaves[128];
  UINT32 SmbusCalls;
  UINT32 SmbusUnacknowledged;
  UINT32 MalformedCalls;   // arguments no caller of ours should pass; refused untouched
  UINT32 Pauses;           // Stall calls seen while the product ran
  UINT32 PausedMs;         // their sum, whole milliseconds
  UINT32 PausedUsRemainder;
} BRIDGE_COUNTS;

extern touchsim::TouchController gModel;
extern BRIDGE_COUNTS gBridgeCounts;
extern EFI_SMBUS_HC_PROTOCOL gSmbusInstance;
extern PLATFORM_I2C_ACCESS_PROTOCOL gI2cInstance;

// Powers the model on with its default configuration and no faults.
VOID BridgePowerOn(VOID);

// While the product runs, its pauses also advance the model's clock: the
// boot services' Stall slot is pointed at a wrapper that tells the model how
// long the product waited and then waits for real. Restored afterwards.
VOID BridgeHookStall(EFI_BOOT_SERVICES *BootServices);
VOID BridgeUnhookStall(EFI_BOOT_SERVICES *BootServices);

#endif  // TOUCH_SIM_EFI_CONTROLLER_BRIDGE_H_
