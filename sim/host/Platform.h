// The simulated platform on the host: a system table whose services record
// every call in a trace with virtual time, a variable store, SMBus host
// controller handles, the platform I2C access protocol, the interrupt line,
// pool accounting and a fault plan, all in front of the touch controller
// model. The unchanged application code runs against it.
#ifndef TOUCH_SIM_HOST_PLATFORM_H_
#define TOUCH_SIM_HOST_PLATFORM_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Protocols.h"
#include "sim/device/TouchController.h"

namespace sim {

// IA32 value of a status (the failure bit moved to bit 31) and its name.
uint32_t Ia32Status(EFI_STATUS Status);
std::string StatusName(EFI_STATUS Status);

struct TraceEvent {
  uint64_t TimeUs = 0;   // virtual time when the call was made
  std::string Kind;      // "Stall", "RaiseTPL", "RestoreTPL", "LocateProtocol",
                         // "LocateHandleBuffer", "HandleProtocol", "SmbusExecute",
                         // "AllocatePool", "FreePool", "CopyMem", "SetMem",
                         // "GetVariable", "SetVariable", "I2cWrite", "I2cRead",
                         // "LineRead", "Assert"
  uint8_t Slave = 0;             // I2C/SMBus slave address
  std::vector<uint8_t> Bytes;    // bytes written, or bytes read back
  uint64_t Value = 0;            // Stall: microseconds; TPL calls: level; pool: size;
                                 // LineRead: 1 when asserted; variables: data size
  EFI_STATUS Status = EFI_SUCCESS;
  EFI_TPL Tpl = TPL_APPLICATION; // task priority when the call was made
  std::string Detail;
};

// Faults the platform (not the controller) injects.
struct TransferFault {
  std::string Kind;     // "I2cWrite", "I2cRead" or "SmbusExecute"
  int Slave = -1;       // -1: any slave
  uint32_t Index = 0;   // 1-based count of matching transfers
  EFI_STATUS Status = EFI_DEVICE_ERROR;
  bool Nack = false;    // the transfer is not acknowledged (and never reaches the device)
};

struct SmbusHandleSpec {
  EFI_STATUS HandleProtocolStatus = EFI_SUCCESS;  // failure: HandleProtocol fails on it
  EFI_STATUS ExecuteStatus = EFI_SUCCESS;         // failure: Execute fails on it
};

struct VariableSeed {
  bool Present = false;
  std::vector<uint8_t> Data;
  uint32_t Attributes = 7;
};

struct PlatformOptions {
  bool ControllerPresent = true;            // false: nothing acknowledges on the bus
  touchsim::ControllerConfig Controller{};  // filled from DefaultControllerConfig by default
  touchsim::DeviceFaults DeviceFaults{};
  std::vector<SmbusHandleSpec> SmbusHandles = {SmbusHandleSpec{}};
  bool I2cProtocolInstalled = true;
  std::vector<TransferFault> TransferFaults;
  bool LineNeverAsserts = false;
  uint32_t LineDelayReads = 0;    // after each bus write, this many line reads show it deasserted
  VariableSeed StatusVariable;    // BX_ESRT before the run
  EFI_STATUS VariableSizeQueryFault = EFI_SUCCESS;  // failure: the first GetVariable returns it
  EFI_STATUS VariableReadFault = EFI_SUCCESS;       // failure: GetVariable with a buffer returns it
  uint32_t VariableStoreFaultAt = 0;                // 1-based SetVariable that fails (0: none)
  EFI_STATUS VariableStoreFaultStatus = EFI_DEVICE_ERROR;
  uint32_t PoolFaultAt = 0;                         // 1-based AllocatePool that fails (0: none)

  PlatformOptions();
};

struct RunResult {
  EFI_STATUS Status = EFI_SUCCESS;
  uint64_t VirtualUs = 0;
  std::vector<uint8_t> VariableBefore;
  bool VariableBeforePresent = false;
};

class Platform {
 public:
  explicit Platform(const PlatformOptions &Options = PlatformOptions());
  ~Platform();
  Platform(const Platform &) = delete;
  Platform &operator=(const Platform &) = delete;

  // Loads the application afresh (its program-wide state as at image load),
  // with the embedded package or the given text, and calls its entry point.
  RunResult Run();
  RunResult Run(const std::string &PackageText);

  // Makes this platform the one the application's services reach, without
  // running the entry point: for driving single operations in tests. Also
  // resets the application's program-wide state and sets gST/gBS/gRT.
  void Attach();

  EFI_SYSTEM_TABLE *SystemTable();
  PLATFORM_I2C_ACCESS_PROTOCOL *I2cProtocolInstance();
  touchsim::TouchController &Controller();
  const PlatformOptions &Options() const;

  // Trace and what is derived from it.
  const std::vector<TraceEvent> &Trace() const;
  void ClearTrace();
  std::vector<TraceEvent> Events(const std::string &Kind) const;
  std::vector<uint32_t> PausesMs() const;   // every Stall, in ms (rounded down)
  std::map<std::string, uint32_t> CallCounts() const;
  uint64_t NowUs() const;
  uint32_t TplViolations() const;           // services called below TPL_HIGH_LEVEL in the run
  uint32_t AssertionFailures() const;
  uint64_t PoolOutstandingBytes() const;    // leaked pool at the end of a run
  uint32_t PoolOutstandingBlocks() const;

  // The status variable (BX_ESRT under its vendor GUID).
  std::optional<std::vector<uint8_t>> StatusVariable() const;
  std::optional<uint32_t> StatusVariableAttributes() const;
  std::vector<std::vector<uint8_t>> StatusVariableStores() const;  // every successful store

  // Human-readable lines: every bus transfer and pause with its virtual time.
  std::string FormatTrace() const;

  struct Impl;
 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim

#endif  // TOUCH_SIM_HOST_PLATFORM_H_
