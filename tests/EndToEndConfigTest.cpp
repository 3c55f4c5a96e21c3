// A whole run of a package that asks for the configuration update alone: the
// embedded package's head and configuration section with the other switches
// off, through the entry point against the simulated platform.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "package/Package.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using testsupport::Bytes;
using testsupport::CreatedRecord;
using testsupport::Get32;
using testsupport::Hex;
using testsupport::PackageLine;
using testsupport::ParseLines;
using testsupport::RequestAddress;

struct Package {
  std::string Text;
  std::string Section;
};

// The embedded head with only CFG on and empty THQA and firmware sections,
// followed by the embedded configuration section (plus Extra).
Package ConfigOnlyPackage(const std::string &Extra = "") {
  const testsupport::PackageParts Embedded = testsupport::EmbeddedParts();
  Package P;
  P.Section = Embedded.Config + Extra;
  P.Text = "<THQA=OFF CFG=ON FW=OFF>\r\n" + Embedded.Head[1] + "\r\n" + Embedded.Head[2] +
           "\r\n0\r\n" + Hex(P.Section.size()) + "\r\n0\r\n" + P.Section;
  return P;
}

bool IsWriteOf(const sim::TraceEvent &E, uint16_t Address, uint8_t Value) {
  return E.Kind == "I2cWrite" && E.Bytes.size() == 22 && E.Bytes[6] == 3 &&
         RequestAddress(E.Bytes) == Address && E.Bytes[10] == Value;
}

size_t IndexOf(const std::vector<sim::TraceEvent> &Trace,
               const std::function<bool(const sim::TraceEvent &)> &Match, size_t From = 0) {
  for (size_t i = From; i < Trace.size(); ++i) {
    if (Match(Trace[i])) return i;
  }
  return Trace.size();
}

TEST(EndToEndConfigTest, ConfigurationOnlyRunWritesCommitsRecordsAndResets) {
  const Package Pkg = ConfigOnlyPackage();
  sim::PlatformOptions O;
  sim::Platform P(O);
  auto &C = P.Controller();
  const uint16_t Command = C.ObjectAddress(C.FindObjectIndex(6));
  const uint16_t Version = C.ObjectAddress(C.FindObjectIndex(38));

  sim::RunResult R = P.Run(Pkg.Text);
  EXPECT_EQ(R.Status, EFI_SUCCESS);

  // The configuration the controller stores is the package's, line for line.
  std::vector<PackageLine> Want = ParseLines(Pkg.Section);
  ASSERT_EQ(Want.size(), 53u);
  for (const PackageLine &L : Want) {
    uint32_t Index = C.FindObjectIndex(static_cast<uint8_t>(L.Type));
    ASSERT_LT(Index, C.ObjectCount());
    ASSERT_EQ(L.Data.size(), C.Object(Index).Size);
    const uint8_t *Stored = C.StoredRegisters() + C.ObjectAddress(Index) + L.Instance * L.Data.size();
    EXPECT_EQ(Bytes(Stored, Stored + L.Data.size()), L.Data)
        << "type " << int(L.Type) << " instance " << L.Instance;
  }
  EXPECT_EQ(C.CommitCount(), 1u);
  EXPECT_EQ(C.RestartCount(), 1u);

  // The record: created before any configuration traffic, then closed with
  // success and the version word; LastAttemptVersion never written.
  const uint32_t VersionWord = 0x1300010A;  // information block 0x13 0x00, version 0x01 0x0A
  auto Stores = P.StatusVariableStores();
  ASSERT_EQ(Stores.size(), 2u);
  EXPECT_EQ(Stores[0], CreatedRecord());
  Bytes Closed = CreatedRecord();
  Closed[20] = 0x0A;
  Closed[21] = 0x01;
  Closed[22] = 0x00;
  Closed[23] = 0x13;
  EXPECT_EQ(Stores[1], Closed);
  EXPECT_EQ(Get32(Stores[1], 20), VersionWord);
  EXPECT_EQ(P.StatusVariable(), Closed);
  EXPECT_EQ(P.StatusVariableAttributes(), 7u);

  // Order on the trace: record created, 0x33, 0x55, the version read, the
  // closing store, 1000 ms, the reset, 3000 ms, and nothing after.
  const auto &T = P.Trace();
  size_t Created = IndexOf(T, [](const auto &E) { return E.Kind == "SetVariable"; });
  size_t Prepare = IndexOf(T, [&](const auto &E) { return IsWriteOf(E, Command + 1, 0x33); });
  size_t Commit = IndexOf(T, [&](const auto &E) { return IsWriteOf(E, Command + 1, 0x55); });
  size_t VersionRead = IndexOf(
      T,
      [&](const auto &E) {
        return E.Kind == "I2cWrite" && E.Bytes.size() == 22 && E.Bytes[6] == 2 && E.Bytes[7] == 2 &&
               RequestAddress(E.Bytes) == Version;
      },
      Commit);
  size_t Closing = IndexOf(T, [](const auto &E) { return E.Kind == "SetVariable"; }, Created + 1);
  size_t Reset = IndexOf(T, [&](const auto &E) { return IsWriteOf(E, Command, 0x01); });
  ASSERT_LT(Reset, T.size());
  EXPECT_LT(Created, Prepare);
  EXPECT_LT(Prepare, Commit);
  EXPECT_LT(Commit, VersionRead);
  EXPECT_LT(VersionRead, Closing);
  EXPECT_LT(Closing, Reset);
  // Around the reset only the request's own buffer work happens.
  auto Neighbour = [&](size_t From, int Step) {
    for (size_t i = From + Step; i < T.size(); i += Step) {
      if (T[i].Kind != "SetMem" && T[i].Kind != "CopyMem") return T[i];
    }
    return sim::TraceEvent{};
  };
  EXPECT_EQ(Neighbour(Reset, -1).Kind, "Stall");
  EXPECT_EQ(Neighbour(Reset, -1).Value, 1000000u);
  EXPECT_EQ(Neighbour(Reset, +1).Kind, "Stall");
  EXPECT_EQ(Neighbour(Reset, +1).Value, 3000000u);
  for (size_t i = Reset + 1; i < T.size(); ++i) {
    EXPECT_NE(T[i].Kind, "I2cRead") << "no reply is read after the reset";
    EXPECT_NE(T[i].Kind, "I2cWrite");
  }

  // Every pause of the run, in order: start-up, the date line, the version
  // line, the configuration update and its commit, the version word, the
  // record, and the reset.
  const std::vector<uint32_t> Pauses = {1, 1,                                 // start, version read
                                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1,        // date line
                                        1,                                   // package version
                                        100, 1, 1, 1, 100, 2000, 1000, 1, 1000,
                                        1, 1,                                // version word, record
                                        1000, 3000};
  EXPECT_EQ(P.PausesMs(), Pauses);
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
  EXPECT_EQ(P.TplViolations(), 0u);
  EXPECT_EQ(P.AssertionFailures(), 0u);
}

// A section the controller cannot take ends the run before the controller
// hears of it: no command, no reset, and the variable as the open left it.
TEST(EndToEndConfigTest, RefusedSectionLeavesTheControllerAndTheRecordAsOpened) {
  const Package Pkg = ConfigOnlyPackage("0099 0000 0001 5A\r\n");
  sim::PlatformOptions O;
  sim::Platform P(O);
  Bytes PowerOn(P.Controller().Registers(), P.Controller().Registers() + 0x10000);

  sim::RunResult R = P.Run(Pkg.Text);
  EXPECT_EQ(R.Status, GENERIC_FAILURE);
  EXPECT_EQ(P.Controller().CommandCount(), 0u);
  EXPECT_EQ(P.Controller().CommitCount(), 0u);
  EXPECT_EQ(P.Controller().RestartCount(), 0u);
  EXPECT_EQ(std::memcmp(P.Controller().Registers(), PowerOn.data(), PowerOn.size()), 0);
  EXPECT_EQ(P.StatusVariableStores(), std::vector<Bytes>{CreatedRecord()});
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
}

}  // namespace
