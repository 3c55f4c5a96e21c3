#include "sim/device/TouchController.h"

namespace touchsim {
void DefaultControllerConfig(ControllerConfig *Config) { *Config = ControllerConfig{}; }
void TouchController::PowerOn(const ControllerConfig &, const DeviceFaults &) {}
bool TouchController::SmbusReadBlock(uint8_t, uint8_t, uint8_t *, uint32_t *) { return false; }
bool TouchController::Write(uint8_t, const uint8_t *, uint32_t) { return false; }
bool TouchController::Read(uint8_t, uint8_t *, uint32_t) { return false; }
bool TouchController::InterruptAsserted() const { return false; }
void TouchController::AdvanceTime(uint64_t) {}
}  // namespace touchsim
