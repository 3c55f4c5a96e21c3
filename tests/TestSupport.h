// Helpers that several test files need alike. Kept in one place so that a
// change to the wire layout, the package text or the record has one copy to
// follow, and every test reads the same bytes the same way.
#ifndef TOUCH_TESTS_TEST_SUPPORT_H
#define TOUCH_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "link/ControllerLink.h"
#include "package/Package.h"
#include "sim/host/Platform.h"

namespace testsupport {

using Bytes = std::vector<uint8_t>;

// --- Files -----------------------------------------------------------------

inline std::string ReadFileText(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

inline Bytes ReadFileBytes(const std::string &Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

// --- Little-endian fields --------------------------------------------------

inline void Put32(Bytes &B, size_t Offset, uint32_t Value) {
  for (int i = 0; i < 4; ++i) B[Offset + i] = static_cast<uint8_t>(Value >> (8 * i));
}

inline uint32_t Get32(const Bytes &B, size_t Offset) {
  uint32_t V = 0;
  for (int i = 0; i < 4; ++i) V |= static_cast<uint32_t>(B[Offset + i]) << (8 * i);
  return V;
}

// --- Register requests -----------------------------------------------------

// The 22 bytes of a register request, built here from the wire layout rather
// than by the code under test, so that a layout slip there shows. The data
// field holds 12 bytes; anything longer is cut there.
inline Bytes Request(uint16_t OutputRegister, uint8_t WriteCount, uint8_t ReadCount,
                     uint16_t Address, const Bytes &Data = {}) {
  Bytes R(22, 0);
  R[0] = static_cast<uint8_t>(OutputRegister);
  R[1] = static_cast<uint8_t>(OutputRegister >> 8);
  R[2] = 0x14;
  R[4] = 0x06;
  R[5] = 0x51;
  R[6] = WriteCount;
  R[7] = ReadCount;
  R[8] = static_cast<uint8_t>(Address);
  R[9] = static_cast<uint8_t>(Address >> 8);
  for (size_t i = 0; i < Data.size() && i < 12; ++i) R[10 + i] = Data[i];
  return R;
}

// The register address a request names.
inline uint16_t RequestAddress(const Bytes &R) { return static_cast<uint16_t>(R[8] | (R[9] << 8)); }

// --- Package text ----------------------------------------------------------

// Uppercase hex as the package text writes it: the fewest digits, or with
// Digits > 0 exactly that many (the high ones dropped).
inline std::string Hex(uint64_t Value, int Digits = 0) {
  if (Digits <= 0) {
    char Buffer[24];
    std::snprintf(Buffer, sizeof Buffer, "%llX", static_cast<unsigned long long>(Value));
    return Buffer;
  }
  static const char kDigits[] = "0123456789ABCDEF";
  std::string Out(Digits, '0');
  for (int i = Digits - 1; i >= 0; --i, Value >>= 4) Out[i] = kDigits[Value & 0xF];
  return Out;
}

inline std::string EmbeddedText() { return std::string(gEmbeddedPackage, gEmbeddedPackageLength); }

// A package cut into its six head lines and its three sections, taken by the
// lengths the head gives; the tests build other packages from real parts.
struct PackageParts {
  std::vector<std::string> Head;
  std::string Thqa, Config, Firmware;
};

inline PackageParts SplitPackage(const std::string &Text) {
  PackageParts Parts;
  size_t At = 0;
  for (int i = 0; i < 6; ++i) {
    size_t End = Text.find("\r\n", At);
    Parts.Head.push_back(Text.substr(At, End - At));
    At = End + 2;
  }
  size_t Thqa = std::stoul(Parts.Head[3], nullptr, 16);
  size_t Config = std::stoul(Parts.Head[4], nullptr, 16);
  size_t Firmware = std::stoul(Parts.Head[5], nullptr, 16);
  Parts.Thqa = Text.substr(At, Thqa);
  Parts.Config = Text.substr(At + Thqa, Config);
  Parts.Firmware = Text.substr(At + Thqa + Config, Firmware);
  return Parts;
}

inline PackageParts EmbeddedParts() { return SplitPackage(EmbeddedText()); }

// One configuration line: "TTTT IIII SSSS DD DD ..", CR LF.
struct PackageLine {
  uint32_t Type;
  uint32_t Instance;
  Bytes Data;
};

// Reads a well-formed configuration section; the tests feed it only the
// package's own text, so it trusts the layout instead of checking it.
inline std::vector<PackageLine> ParseLines(const std::string &Section) {
  std::vector<PackageLine> Out;
  size_t At = 0;
  while (At + 16 <= Section.size()) {
    PackageLine L;
    L.Type = std::stoul(Section.substr(At, 4), nullptr, 16);
    L.Instance = std::stoul(Section.substr(At + 5, 4), nullptr, 16);
    size_t Size = std::stoul(Section.substr(At + 10, 4), nullptr, 16);
    for (size_t k = 0; k < Size; ++k) {
      L.Data.push_back(static_cast<uint8_t>(std::stoul(Section.substr(At + 15 + 3 * k, 2), nullptr, 16)));
    }
    Out.push_back(L);
    At += 16 + 3 * Size;
  }
  return Out;
}

// --- The status record -----------------------------------------------------

// A record as the application creates it: 40 bytes, all zero but the lowest
// supported version.
inline Bytes CreatedRecord() {
  Bytes B(40, 0);
  Put32(B, 24, 0x13000100);
  return B;
}

// --- Platform options ------------------------------------------------------

// Replaces the controller's object table with Objects, in that order.
inline void UseObjects(sim::PlatformOptions &O, const std::vector<touchsim::ObjectDefinition> &Objects) {
  O.Controller.ObjectCount = static_cast<uint32_t>(Objects.size());
  for (size_t i = 0; i < Objects.size(); ++i) O.Controller.Objects[i] = Objects[i];
}

// Makes the Index-th reply read from the controller (1-based) fail.
inline void FailRead(sim::PlatformOptions &O, uint32_t Index, EFI_STATUS Status = EFI_DEVICE_ERROR) {
  O.TransferFaults.push_back({"I2cRead", APPLICATION_SLAVE_ADDRESS, Index, Status, false});
}

// The pauses of a wait for a message: Head, 300 ms for every read that finds
// the queue empty, then Tail.
inline std::vector<uint32_t> Pauses(std::vector<uint32_t> Head, uint32_t EmptyReads,
                                    const std::vector<uint32_t> &Tail) {
  std::vector<uint32_t> Out = std::move(Head);
  Out.insert(Out.end(), EmptyReads, 300);
  Out.insert(Out.end(), Tail.begin(), Tail.end());
  return Out;
}

// Messages from other objects, by report ID, queued on the controller before
// the one a test waits for, so the wait has to read past them.
inline void QueueMessages(touchsim::DeviceFaults &F, const Bytes &ReportIds) {
  for (size_t i = 0; i < ReportIds.size(); ++i) F.ExtraMessages[i] = ReportIds[i];
  F.ExtraMessageCount = static_cast<uint32_t>(ReportIds.size());
}

// --- Fixtures --------------------------------------------------------------

// The attached platform with the controller discovered and the trace cleared,
// so that a test sees only the traffic of the call it makes.
class DiscoveredController : public ::testing::Test {
 protected:
  void Start(const sim::PlatformOptions &Options = sim::PlatformOptions()) {
    Platform.reset(new sim::Platform(Options));
    Platform->Attach();
    ASSERT_EQ(FindHidDevice(), EFI_SUCCESS);
    Platform->ClearTrace();
  }
  PLATFORM_I2C_ACCESS_PROTOCOL *I2c() { return Platform->I2cProtocolInstance(); }

  std::unique_ptr<sim::Platform> Platform;
};

}  // namespace testsupport

#endif  // TOUCH_TESTS_TEST_SUPPORT_H
