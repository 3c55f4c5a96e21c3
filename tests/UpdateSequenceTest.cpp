// The update sequence as the simulated platform sees it: the start-up, the
// reading of the package head, the choice of path, the task priority and the
// pauses the sequence itself makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/Driver.h"
#include "package/Package.h"
#include "sim/host/Platform.h"
#include "TestSupport.h"

namespace {

using sim::TraceEvent;
using testsupport::EmbeddedParts;
using testsupport::EmbeddedText;
using testsupport::Get32;
using testsupport::Hex;
using testsupport::PackageParts;

constexpr uint64_t kOneMs = 1000;

// A package with the given header lines (each with its line end) whose
// section length lines match the sections it carries; a section left out has
// length 0.
std::string MakePackage(const std::string &HeaderLines, bool Thqa, bool Config, bool Firmware,
                        const std::string &DateLine = "20261211") {
  const PackageParts S = EmbeddedParts();
  const std::string T = Thqa ? S.Thqa : "", C = Config ? S.Config : "",
                    F = Firmware ? S.Firmware : "";
  return HeaderLines + DateLine + "\r\n00000000\r\n" + Hex(T.size()) + "\r\n" + Hex(C.size()) +
         "\r\n" + Hex(F.size()) + "\r\n" + T + C + F;
}

// A run cut at the boundaries the sequence defines: the pause before the
// priority is raised, the start-up (discovery, protocol lookup, version
// read), what RunUpdate did, and what follows the priority's restoration.
struct SplitRun {
  EFI_STATUS Status = EFI_SUCCESS;
  std::vector<TraceEvent> Trace;
  std::vector<TraceEvent> Startup;
  std::vector<TraceEvent> Update;
  std::vector<TraceEvent> AfterRestore;
};

std::vector<uint32_t> PausesOf(const std::vector<TraceEvent> &Events) {
  std::vector<uint32_t> Pauses;
  for (const TraceEvent &E : Events) {
    if (E.Kind == "Stall") Pauses.push_back(static_cast<uint32_t>(E.Value / kOneMs));
  }
  return Pauses;
}

size_t CountKind(const std::vector<TraceEvent> &Events, const std::string &Kind) {
  size_t Count = 0;
  for (const TraceEvent &E : Events) Count += E.Kind == Kind;
  return Count;
}

bool OnlyPauses(const std::vector<TraceEvent> &Events) {
  return CountKind(Events, "Stall") == Events.size();
}

// The start-up is the same for every package on the same platform, so an
// empty package, which RunUpdate refuses without a single call, marks where
// it ends.
size_t StartupLength(const sim::PlatformOptions &Options) {
  sim::Platform Reference(Options);
  Reference.Run("");
  const std::vector<TraceEvent> &T = Reference.Trace();
  for (size_t I = 0; I < T.size(); ++I) {
    if (T[I].Kind == "RestoreTPL") return I - 2;
  }
  ADD_FAILURE() << "reference run never restored the task priority";
  return 0;
}

SplitRun RunAndSplit(sim::Platform &P, const std::string &Package) {
  const size_t Startup = StartupLength(P.Options());
  SplitRun R;
  R.Status = P.Run(Package).Status;
  R.Trace = P.Trace();
  const std::vector<TraceEvent> &T = R.Trace;
  size_t Restore = 0;
  while (Restore < T.size() && T[Restore].Kind != "RestoreTPL") ++Restore;
  EXPECT_LT(Restore, T.size()) << "the task priority was never restored";
  EXPECT_GE(Restore, 2 + Startup);
  if (Restore >= T.size() || Restore < 2 + Startup) return R;
  R.Startup.assign(T.begin() + 2, T.begin() + 2 + Startup);
  R.Update.assign(T.begin() + 2 + Startup, T.begin() + Restore);
  R.AfterRestore.assign(T.begin() + Restore + 1, T.end());
  return R;
}

// What every run must show around RunUpdate: 1 ms at the caller's level, the
// raise to TPL_HIGH_LEVEL, every service in between at that level, the
// restoration of the caller's level, and 1 ms after it unless the run
// succeeded.
void ExpectRunFrame(const SplitRun &R) {
  const std::vector<TraceEvent> &T = R.Trace;
  ASSERT_GE(T.size(), 3u);
  EXPECT_EQ(T[0].Kind, "Stall");
  EXPECT_EQ(T[0].Value, kOneMs);
  EXPECT_EQ(T[0].Tpl, TPL_APPLICATION);
  EXPECT_EQ(T[1].Kind, "RaiseTPL");
  EXPECT_EQ(T[1].Value, TPL_HIGH_LEVEL);
  EXPECT_EQ(CountKind(T, "RaiseTPL"), 1u);
  EXPECT_EQ(CountKind(T, "RestoreTPL"), 1u);
  for (const std::vector<TraceEvent> *Part : {&R.Startup, &R.Update}) {
    for (const TraceEvent &E : *Part) {
      EXPECT_EQ(E.Tpl, TPL_HIGH_LEVEL) << E.Kind << " below TPL_HIGH_LEVEL";
    }
  }
  const size_t Restore = 2 + R.Startup.size() + R.Update.size();
  ASSERT_LT(Restore, T.size());
  EXPECT_EQ(T[Restore].Value, TPL_APPLICATION) << "restored another level than the one raised from";
  if (R.Status == EFI_SUCCESS) {
    EXPECT_TRUE(R.AfterRestore.empty());
  } else {
    ASSERT_EQ(R.AfterRestore.size(), 1u);
    EXPECT_EQ(R.AfterRestore[0].Kind, "Stall");
    EXPECT_EQ(R.AfterRestore[0].Value, kOneMs);
  }
}

// The head's own pauses: 1 ms, 1 ms per date character and 1 ms after the
// date line, then 1 ms after the version line.
std::vector<uint32_t> DatePauses(size_t DateLength) {
  return std::vector<uint32_t>(DateLength + 2, 1);
}
std::vector<uint32_t> HeadPauses(size_t DateLength) {
  return std::vector<uint32_t>(DateLength + 3, 1);
}

// --- Packages that request nothing ---

struct NothingCase {
  const char *Name;
  std::string Package;
  std::vector<uint32_t> Pauses;
};

TEST(UpdateSequence, NothingRequestedLeavesTheControllerAndVariableAlone) {
  const std::string Embedded = EmbeddedText();
  const size_t HeaderEnd = Embedded.find("\r\n") + 2;
  const std::string Body = Embedded.substr(HeaderEnd);
  const NothingCase kCases[] = {
      {"switches off", "<THQA=OFF CFG=OFF FW=OFF>\r\n" + Body, HeadPauses(8)},
      {"no header line", Body, HeadPauses(8)},
      {"lowercase values", "<THQA=on CFG=on FW=on>\r\n" + Body, HeadPauses(8)},
      // Later "<" lines are skipped unparsed, however they read.
      {"further header lines skipped",
       "<THQA=OFF CFG=OFF FW=OFF>\r\n<THQA=ON CFG=ON FW=ON>\r\n<\r\n" + Body, HeadPauses(8)},
      {"switches on, every section empty", MakePackage("<THQA=ON CFG=ON FW=ON>\r\n", false, false, false),
       HeadPauses(8)},
      {"empty length lines read as 0",
       "<THQA=ON CFG=ON FW=ON>\r\n20261211\r\n00000000\r\n\r\n\r\n\r\n", HeadPauses(8)},
      {"only FW on, firmware section empty",
       MakePackage("<THQA=OFF CFG=OFF FW=ON>\r\n", true, true, false), HeadPauses(8)},
      {"only THQA on, THQA section empty",
       MakePackage("<THQA=ON CFG=OFF FW=OFF>\r\n", false, true, true), HeadPauses(8)},
      {"date line of 4", MakePackage("", true, true, true, "2026"), HeadPauses(4)},
      {"empty date line", MakePackage("", true, true, true, ""), HeadPauses(0)},
      {"date line of 31", MakePackage("", true, true, true, std::string(31, '9')), HeadPauses(31)},
      {"header line of 1023",
       "<THQA=OFF CFG=OFF FW=OFF>" + std::string(1023 - 25, ' ') + "\r\n" + Body, HeadPauses(8)},
      {"LF line ends", "<THQA=OFF CFG=OFF FW=OFF>\n20261211\n00000000\n0\n0\n0\n", HeadPauses(8)},
  };
  for (const NothingCase &C : kCases) {
    SCOPED_TRACE(C.Name);
    sim::Platform P;
    const SplitRun R = RunAndSplit(P, C.Package);
    EXPECT_EQ(R.Status, EFI_SUCCESS) << sim::StatusName(R.Status);
    ExpectRunFrame(R);
    // After the start-up: the head's pauses and nothing else.
    EXPECT_TRUE(OnlyPauses(R.Update));
    EXPECT_EQ(PausesOf(R.Update), C.Pauses);
    EXPECT_FALSE(P.StatusVariable().has_value());
    EXPECT_EQ(P.TplViolations(), 0u);
  }
}

TEST(UpdateSequence, StartupReadsTheVersionOnlyAfterADiscovery) {
  const std::string Package = MakePackage("", true, true, true);
  {
    SCOPED_TRACE("controller answers");
    sim::Platform P;
    const SplitRun R = RunAndSplit(P, Package);
    size_t Locate = 0;
    while (Locate < R.Startup.size() && R.Startup[Locate].Kind != "LocateProtocol") ++Locate;
    ASSERT_LT(Locate, R.Startup.size());
    // The version read talks to the controller in application mode.
    bool VersionRead = false;
    for (size_t I = Locate + 1; I < R.Startup.size(); ++I) {
      VersionRead = VersionRead || (R.Startup[I].Kind == "I2cWrite" && R.Startup[I].Slave == 0x4A);
    }
    EXPECT_TRUE(VersionRead);
  }
  {
    SCOPED_TRACE("nobody answers");
    sim::PlatformOptions Options;
    Options.ControllerPresent = false;
    sim::Platform P(Options);
    const SplitRun R = RunAndSplit(P, Package);
    EXPECT_EQ(R.Status, EFI_SUCCESS);
    ExpectRunFrame(R);
    // A failed discovery costs 1 ms before the lookup, and the version read
    // is skipped: the lookup ends the start-up.
    ASSERT_GE(R.Startup.size(), 2u);
    EXPECT_EQ(R.Startup.back().Kind, "LocateProtocol");
    EXPECT_EQ(R.Startup[R.Startup.size() - 2].Kind, "Stall");
    EXPECT_EQ(R.Startup[R.Startup.size() - 2].Value, kOneMs);
    EXPECT_EQ(CountKind(R.Startup, "I2cWrite") + CountKind(R.Startup, "I2cRead"), 0u);
    EXPECT_EQ(PausesOf(R.Update), HeadPauses(8));
  }
}

// --- Heads that are refused ---

struct RefusedCase {
  const char *Name;
  std::string Package;
  std::vector<uint32_t> Pauses;  // what the head reading paused before it gave up
};

TEST(UpdateSequence, RefusedHeadEndsWithGenericFailureBeforeAnyOperation) {
  const std::string Embedded = EmbeddedText();
  const std::string Body = Embedded.substr(Embedded.find("\r\n") + 2);
  const std::string Head = "<THQA=ON CFG=ON FW=ON>\r\n20261211\r\n00000000\r\n";
  const std::vector<uint32_t> kNone;
  const RefusedCase kCases[] = {
      {"empty package", "", kNone},
      {"header line of 1024", "<THQA=ON CFG=ON FW=ON>" + std::string(1024 - 22, ' ') + "\r\n" + Body,
       kNone},
      {"no line end at all", std::string(4096, 'A'), kNone},
      {"further header line of 1024",
       "<THQA=ON CFG=ON FW=ON>\r\n<" + std::string(1023, 'X') + "\r\n" + Body, kNone},
      {"date line of 32", MakePackage("<THQA=ON CFG=ON FW=ON>\r\n", true, true, true, std::string(32, '2')),
       kNone},
      {"version line of 7", Head.substr(0, 34) + "0000000\r\n332\r\nEF6\r\n3FCF0\r\n", DatePauses(8)},
      {"version line of 32", Head.substr(0, 34) + std::string(32, '0') + "\r\n332\r\nEF6\r\n3FCF0\r\n",
       DatePauses(8)},
      {"length line of 9", Head + "000000332\r\nEF6\r\n3FCF0\r\n" + Embedded.substr(61),
       HeadPauses(8)},
      {"head cut inside the version line", Head.substr(0, 38), DatePauses(8)},
      {"head without its last line end", Head + "332\r\nEF6\r\n3FCF0", HeadPauses(8)},
      {"head ends at a header line", "<THQA=ON CFG=ON FW=ON>", kNone},
      {"one character short", Embedded.substr(0, Embedded.size() - 1), HeadPauses(8)},
      {"firmware section past the end", Head + "332\r\nEF6\r\n3FCF1\r\n" + Embedded.substr(61),
       HeadPauses(8)},
      // 0xFFFFFFFF + 2 wraps to 1 in 32 bits, which the text would hold.
      {"lengths that wrap 32 bits", Head + "FFFFFFFF\r\n2\r\n0\r\n" + std::string(8, '0'),
       HeadPauses(8)},
      {"every length at its maximum", Head + "FFFFFFFF\r\nFFFFFFFF\r\nFFFFFFFF\r\n" + Embedded.substr(61),
       HeadPauses(8)},
  };
  for (const RefusedCase &C : kCases) {
    SCOPED_TRACE(C.Name);
    sim::PlatformOptions Options;
    Options.StatusVariable.Present = true;
    Options.StatusVariable.Data.assign(40, 0x5A);
    sim::Platform P(Options);
    const SplitRun R = RunAndSplit(P, C.Package);
    EXPECT_EQ(R.Status, GENERIC_FAILURE) << sim::StatusName(R.Status);
    ExpectRunFrame(R);
    // Nothing was sent and the variable was not even read.
    EXPECT_TRUE(OnlyPauses(R.Update));
    EXPECT_EQ(PausesOf(R.Update), C.Pauses);
    ASSERT_TRUE(P.StatusVariable().has_value());
    EXPECT_EQ(*P.StatusVariable(), std::vector<uint8_t>(40, 0x5A));
    EXPECT_TRUE(P.StatusVariableStores().empty());
  }
}

TEST(UpdateSequence, FullWidthLengthLinesAreAccepted) {
  // Eight digits, leading zeros included, fit a length exactly.
  const PackageParts S = EmbeddedParts();
  const std::string Package = std::string("20261211\r\n00000000\r\n") + "00000332\r\n00000EF6\r\n0003FCF0\r\n" +
                              S.Thqa + S.Config + S.Firmware;
  sim::Platform P;
  const SplitRun R = RunAndSplit(P, Package);
  EXPECT_EQ(R.Status, EFI_SUCCESS);
  EXPECT_EQ(PausesOf(R.Update), HeadPauses(8));
}

// --- The protocol lookup ---

TEST(UpdateSequence, MissingI2cProtocolEndsTheRunWithTheLookupStatus) {
  sim::PlatformOptions Options;
  Options.I2cProtocolInstalled = false;
  sim::Platform P(Options);
  const EFI_STATUS Status = P.Run().Status;

  const std::vector<TraceEvent> Lookups = P.Events("LocateProtocol");
  ASSERT_EQ(Lookups.size(), 1u);
  ASSERT_TRUE(EFI_ERROR(Lookups[0].Status));
  EXPECT_EQ(Status, Lookups[0].Status) << sim::StatusName(Status);

  // 1 ms after the failed lookup, the priority restored, 1 ms for the
  // failed run; the package is never read, so no head pauses.
  const std::vector<TraceEvent> &T = P.Trace();
  size_t Lookup = 0;
  while (T[Lookup].Kind != "LocateProtocol") ++Lookup;
  ASSERT_EQ(T.size(), Lookup + 4);
  EXPECT_EQ(T[Lookup + 1].Kind, "Stall");
  EXPECT_EQ(T[Lookup + 1].Value, kOneMs);
  EXPECT_EQ(T[Lookup + 2].Kind, "RestoreTPL");
  EXPECT_EQ(T[Lookup + 2].Value, TPL_APPLICATION);
  EXPECT_EQ(T[Lookup + 3].Kind, "Stall");
  EXPECT_EQ(T[Lookup + 3].Value, kOneMs);

  EXPECT_EQ(CountKind(T, "I2cRead") + CountKind(T, "I2cWrite"), 0u);
  EXPECT_EQ(CountKind(T, "GetVariable") + CountKind(T, "SetVariable"), 0u);
  EXPECT_EQ(P.TplViolations(), 0u);
}

// --- Choosing the path ---

struct PathCase {
  const char *Name;
  std::string Header;
  bool Thqa, Config, Firmware;  // which sections the package carries
  bool FullPath;
};

// With the status record failing to open, the full path ends right there
// with that status, whatever the operations behind it do; the THQA-only path
// never asks for the record.
TEST(UpdateSequence, PathFollowsTheSwitchesAndTheSectionLengths) {
  const PathCase kCases[] = {
      {"everything", "<THQA=ON CFG=ON FW=ON>\r\n", true, true, true, true},
      {"firmware only", "<THQA=OFF CFG=OFF FW=ON>\r\n", true, true, true, true},
      {"configuration only", "<THQA=OFF CFG=ON FW=OFF>\r\n", true, true, true, true},
      {"configuration, firmware empty", "<THQA=ON CFG=ON FW=ON>\r\n", true, true, false, true},
      {"THQA only", "<THQA=ON CFG=OFF FW=OFF>\r\n", true, true, true, false},
      {"FW on with an empty section", "<THQA=ON CFG=OFF FW=ON>\r\n", true, true, false, false},
      {"CFG on with an empty section", "<THQA=ON CFG=ON FW=OFF>\r\n", true, false, true, false},
      {"both empty", "<THQA=ON CFG=ON FW=ON>\r\n", true, false, false, false},
  };
  for (const PathCase &C : kCases) {
    SCOPED_TRACE(C.Name);
    sim::PlatformOptions Options;
    Options.VariableSizeQueryFault = EFI_DEVICE_ERROR;
    sim::Platform P(Options);
    const SplitRun R = RunAndSplit(P, MakePackage(C.Header, C.Thqa, C.Config, C.Firmware));
    ExpectRunFrame(R);
    const std::vector<uint32_t> Head = HeadPauses(8);
    ASSERT_GE(R.Update.size(), Head.size());
    EXPECT_EQ(PausesOf(std::vector<TraceEvent>(R.Update.begin(), R.Update.begin() + Head.size())),
              Head);
    EXPECT_TRUE(OnlyPauses(std::vector<TraceEvent>(R.Update.begin(), R.Update.begin() + Head.size())));
    if (C.FullPath) {
      EXPECT_EQ(R.Status, EFI_DEVICE_ERROR) << sim::StatusName(R.Status);
      ASSERT_GT(R.Update.size(), Head.size());
      EXPECT_EQ(R.Update[Head.size()].Kind, "GetVariable");
      EXPECT_EQ(CountKind(R.Update, "I2cRead") + CountKind(R.Update, "I2cWrite"), 0u);
      EXPECT_EQ(CountKind(R.Update, "SetVariable"), 0u);
    } else {
      EXPECT_EQ(CountKind(R.Update, "GetVariable") + CountKind(R.Update, "SetVariable"), 0u);
      // No reset on this path: neither of its pauses.
      for (uint32_t Pause : PausesOf(R.Update)) {
        EXPECT_NE(Pause, 1000u);
        EXPECT_NE(Pause, 3000u);
      }
    }
    EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
  }
}

TEST(UpdateSequence, EmbeddedPackageRunsAtHighPriorityWithTheHeadPauses) {
  sim::Platform P;
  const SplitRun R = RunAndSplit(P, EmbeddedText());
  ExpectRunFrame(R);
  const std::vector<uint32_t> Head = HeadPauses(8);
  ASSERT_GT(R.Update.size(), Head.size());
  EXPECT_EQ(PausesOf(std::vector<TraceEvent>(R.Update.begin(), R.Update.begin() + Head.size())), Head);
  // The full path starts by opening the status record.
  EXPECT_EQ(R.Update[Head.size()].Kind, "GetVariable");
  EXPECT_EQ(P.TplViolations(), 0u);
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
}

TEST(UpdateSequence, FailedFlashReleasesTheStatusRecordAndSkipsTheReset) {
  // Every status read of the bootloader fails, so it is never seen ready.
  sim::PlatformOptions Options;
  for (uint32_t Index = 1; Index <= 32; ++Index) {
    Options.TransferFaults.push_back(sim::TransferFault{"I2cRead", 0x26, Index, EFI_DEVICE_ERROR});
  }
  sim::Platform P(Options);
  const SplitRun R = RunAndSplit(P, MakePackage("<THQA=ON CFG=ON FW=ON>\r\n", true, true, true));
  ExpectRunFrame(R);
  EXPECT_TRUE(EFI_ERROR(R.Status)) << sim::StatusName(R.Status);
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
  for (uint32_t Pause : PausesOf(R.Update)) EXPECT_NE(Pause, 3000u);
}

// Only the configuration update requested: the record is created, never
// marked, closed with the version word; then 1000 ms, the reset, 3000 ms.
TEST(UpdateSequence, ConfigurationOnlyRunClosesTheRecordAndResets) {
  sim::Platform P;
  const SplitRun R = RunAndSplit(P, MakePackage("<THQA=OFF CFG=ON FW=OFF>\r\n", true, true, true));
  EXPECT_EQ(R.Status, EFI_SUCCESS) << sim::StatusName(R.Status);
  ExpectRunFrame(R);

  const std::vector<uint32_t> Pauses = PausesOf(R.Update);
  ASSERT_GE(Pauses.size(), 13u);
  EXPECT_EQ(std::vector<uint32_t>(Pauses.begin(), Pauses.begin() + 11), HeadPauses(8));
  EXPECT_EQ(std::vector<uint32_t>(Pauses.end() - 2, Pauses.end()),
            (std::vector<uint32_t>{1000, 3000}));
  // The reset is the last thing the controller hears: 0x01 at offset 0 of
  // the command object, after the 1000 ms pause.
  touchsim::TouchController &Device = P.Controller();
  ASSERT_GT(Device.CommandCount(), 0u);
  EXPECT_EQ(Device.Command(Device.CommandCount() - 1).Offset, 0u);
  EXPECT_EQ(Device.Command(Device.CommandCount() - 1).Value, 1u);
  size_t LastWrite = 0, LongPause = 0;
  for (size_t I = 0; I < R.Update.size(); ++I) {
    if (R.Update[I].Kind == "I2cWrite") LastWrite = I;
    if (R.Update[I].Kind == "Stall" && R.Update[I].Value == 1000 * kOneMs) LongPause = I;
  }
  EXPECT_GT(LastWrite, LongPause);
  for (const TraceEvent &E : R.Trace) EXPECT_NE(E.Slave, 0x26) << E.Kind;

  // Created, then closed: never marked as an attempt.
  const std::vector<std::vector<uint8_t>> Stores = P.StatusVariableStores();
  ASSERT_EQ(Stores.size(), 2u);
  for (const std::vector<uint8_t> &Store : Stores) {
    ASSERT_EQ(Store.size(), 40u);
    EXPECT_EQ(Get32(Store, 24), 0x13000100u);
    EXPECT_EQ(Get32(Store, 32), 0u);
    EXPECT_EQ(Get32(Store, 36), 0u);
  }
  const touchsim::ControllerConfig &Config = P.Options().Controller;
  const uint32_t VersionWord = static_cast<uint32_t>(Config.InfoBlock[2]) << 24 |
                               Config.InfoBlock[3] << 16 | Config.VersionBytes[0] << 8 |
                               Config.VersionBytes[1];
  EXPECT_EQ(Get32(Stores[1], 20), VersionWord);
  EXPECT_EQ(P.PoolOutstandingBlocks(), 0u);
  EXPECT_EQ(P.TplViolations(), 0u);
}

// A failed reset costs one more 1 ms pause before the 3000 ms and changes
// nothing else.
TEST(UpdateSequence, FailedResetAddsOnePauseOnly) {
  const std::string Package = MakePackage("<THQA=OFF CFG=ON FW=OFF>\r\n", true, true, true);
  sim::Platform Reference;
  const EFI_STATUS ReferenceStatus = Reference.Run(Package).Status;
  ASSERT_EQ(ReferenceStatus, EFI_SUCCESS);
  uint32_t Writes = 0;
  for (const TraceEvent &E : Reference.Events("I2cWrite")) Writes += E.Slave == 0x4A;

  // The reset request is the run's last write to the controller.
  sim::PlatformOptions Options;
  Options.TransferFaults.push_back(sim::TransferFault{"I2cWrite", 0x4A, Writes, EFI_DEVICE_ERROR});
  sim::Platform P(Options);
  EXPECT_EQ(P.Run(Package).Status, ReferenceStatus);

  std::vector<uint32_t> Expected = Reference.PausesMs();
  ASSERT_GE(Expected.size(), 1u);
  ASSERT_EQ(Expected.back(), 3000u);
  Expected.insert(Expected.end() - 1, 1);
  EXPECT_EQ(P.PausesMs(), Expected);
  EXPECT_EQ(P.StatusVariableStores(), Reference.StatusVariableStores());
}

// The image's own package settings: the embedded text with a zero length
// stands for the whole embedded package; any other length is taken as given.
TEST(UpdateSequence, DefaultPackageIsTheWholeEmbeddedText) {
  const struct {
    const char *Name;
    bool CutShort;
    EFI_STATUS Status;
  } kCases[] = {
      {"as loaded", false, EFI_DEVICE_ERROR},  // the full path, stopped at the record
      {"cut short by a loader", true, GENERIC_FAILURE},
  };
  for (const auto &C : kCases) {
    SCOPED_TRACE(C.Name);
    sim::PlatformOptions Options;
    Options.VariableSizeQueryFault = EFI_DEVICE_ERROR;
    sim::Platform P(Options);
    P.Attach();  // the image as loaded
    EXPECT_EQ(gPackageText, gEmbeddedPackage);
    EXPECT_EQ(gPackageLength, gEmbeddedPackageLength);
    if (C.CutShort) gPackageLength = 100;
    EXPECT_EQ(UpdateMain(), C.Status);
  }
}

}  // namespace
