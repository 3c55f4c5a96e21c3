// touch-update-sim: runs the application's entry point on the simulated
// platform, with the embedded package or another one, and reports what
// happened: a short summary for a person, or one JSON object for scripts.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "sim/host/Platform.h"

namespace {

const char kUsage[] =
    "usage: touch-update-sim [options]\n"
    "\n"
    "Runs TouchUpdate's entry point on the simulated platform and reports the run.\n"
    "\n"
    "Output:\n"
    "  --json                    print one JSON object instead of the summary\n"
    "  --trace                   print every platform call and bus transfer with its virtual time\n"
    "  --trace-file FILE         write that trace to FILE\n"
    "Package:\n"
    "  --package FILE            run FILE instead of the embedded package\n"
    "Controller model:\n"
    "  --no-controller           nothing acknowledges on the bus\n"
    "  --output-register N       HID output register the controller announces\n"
    "  --version-bytes N         version object bytes 0 and 1, as a 16-bit number (0x0100)\n"
    "  --commit-delay-ms N       virtual time the controller takes to commit\n"
    "  --commit-never-answers    the commit message never comes\n"
    "  --message ID              queue a message with report ID ID at power-on (repeatable)\n"
    "  --reply-status K:V        register reply number K carries reply status V\n"
    "  --short-reply K:N         register reply number K carries only N bytes\n"
    "  --short-replies-from K:N  from reply K on, every reply carries at most N bytes\n"
    "  --overlong-reply K:N      register reply number K claims N bytes\n"
    "  --smbus-length N          SMBus block reads return only N bytes\n"
    "Platform faults:\n"
    "  --fail KIND:INDEX[:SLAVE][:STATUS|nack]\n"
    "                            the INDEX-th transfer of KIND (I2cWrite, I2cRead, SmbusExecute),\n"
    "                            optionally only at SLAVE, fails with STATUS (EFI_DEVICE_ERROR)\n"
    "                            or is not acknowledged\n"
    "  --line-never              the interrupt line never asserts\n"
    "  --line-delay N            after every bus write the line reads deasserted N times\n"
    "  --smbus-handles N         number of SMBus host controller handles (1)\n"
    "  --smbus-fail I:protocol|execute[:STATUS]\n"
    "                            handle I fails HandleProtocol or Execute\n"
    "  --no-i2c-protocol         the platform I2C access protocol is not installed\n"
    "  --variable absent|empty|HEX  BX_ESRT before the run (HEX: its data bytes)\n"
    "  --variable-size-query-fault STATUS, --variable-read-fault STATUS\n"
    "  --variable-store-fault N[:STATUS]  the N-th SetVariable fails\n"
    "  --pool-fault N            the N-th pool allocation fails\n"
    "\n"
    "Exit status: 0 when the run returned EFI_SUCCESS, 1 for any other status, 2 for a usage error.\n";


[[noreturn]] void Fail(const std::string &Message) {
  std::fprintf(stderr, "touch-update-sim: %s\n", Message.c_str());
  std::fprintf(stderr, "Try 'touch-update-sim --help'.\n");
  std::exit(2);
}

uint64_t ParseNumber(const std::string &Text, const std::string &What) {
  if (Text.empty()) Fail("missing number for " + What);
  char *End = nullptr;
  errno = 0;
  unsigned long long Value = std::strtoull(Text.c_str(), &End, 0);
  if (errno != 0 || End == nullptr || *End != '\0') Fail("not a number for " + What + ": " + Text);
  return Value;
}

EFI_STATUS ParseStatus(const std::string &Text) {
  const EFI_STATUS kKnown[] = {EFI_SUCCESS,          EFI_LOAD_ERROR,       EFI_INVALID_PARAMETER,
                               EFI_UNSUPPORTED,      EFI_BAD_BUFFER_SIZE,  EFI_BUFFER_TOO_SMALL,
                               EFI_NOT_READY,        EFI_DEVICE_ERROR,     EFI_WRITE_PROTECTED,
                               EFI_OUT_OF_RESOURCES, EFI_NOT_FOUND,        EFI_ACCESS_DENIED,
                               EFI_NO_RESPONSE,      EFI_TIMEOUT,          EFI_ABORTED,
                               GENERIC_FAILURE,      EFI_WARN_WRITE_FAILURE};
  for (EFI_STATUS S : kKnown) {
    if (sim::StatusName(S) == Text) return S;
  }
  uint64_t Value = ParseNumber(Text, "status");
  // An IA32 status value: move its failure bit to the host's.
  if (Value & 0x80000000u) return ENCODE_ERROR(Value & 0x7FFFFFFFu);
  return static_cast<EFI_STATUS>(Value);
}

std::vector<std::string> Split(const std::string &Text, char Separator) {
  std::vector<std::string> Parts;
  std::stringstream Stream(Text);
  std::string Part;
  while (std::getline(Stream, Part, Separator)) Parts.push_back(Part);
  return Parts;
}

std::pair<uint32_t, uint32_t> ParsePair(const std::string &Text, const std::string &What) {
  std::vector<std::string> Parts = Split(Text, ':');
  if (Parts.size() != 2) Fail(What + " takes K:N, got " + Text);
  return {static_cast<uint32_t>(ParseNumber(Parts[0], What)),
          static_cast<uint32_t>(ParseNumber(Parts[1], What))};
}

std::vector<uint8_t> ParseHexBytes(const std::string &Text) {
  std::string Digits;
  for (char c : Text) {
    if (c == ' ' || c == ':' || c == ',') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) Fail("--variable: not hex: " + Text);
    Digits.push_back(c);
  }
  if (Digits.size() % 2 != 0) Fail("--variable: odd number of hex digits");
  std::vector<uint8_t> Bytes;
  for (size_t i = 0; i < Digits.size(); i += 2) {
    Bytes.push_back(static_cast<uint8_t>(std::stoul(Digits.substr(i, 2), nullptr, 16)));
  }
  return Bytes;
}

std::string Hex(const std::vector<uint8_t> &Bytes) {
  std::string Out;
  char Two[4];
  for (uint8_t B : Bytes) {
    std::snprintf(Two, sizeof Two, "%02X", B);
    Out += Two;
  }
  return Out;
}

std::string Quote(const std::string &Text) {
  std::string Out = "\"";
  for (char c : Text) {
    if (c == '"' || c == '\\') {
      Out += '\\';
      Out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char Esc[8];
      std::snprintf(Esc, sizeof Esc, "\\u%04x", c);
      Out += Esc;
    } else {
      Out += c;
    }
  }
  return Out + "\"";
}

std::string Hex32(uint32_t Value) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "\"0x%08X\"", Value);
  return Text;
}

uint32_t Le32(const std::vector<uint8_t> &Bytes, size_t Offset) {
  if (Offset + 4 > Bytes.size()) return 0;
  return Bytes[Offset] | (Bytes[Offset + 1] << 8) | (Bytes[Offset + 2] << 16) |
         (static_cast<uint32_t>(Bytes[Offset + 3]) << 24);
}

std::string VariableJson(const std::optional<std::vector<uint8_t>> &Data) {
  return Data ? Quote(Hex(*Data)) : "null";
}

std::string DecodedEntry(const std::optional<std::vector<uint8_t>> &Data) {
  if (!Data || Data->size() < 40) return "null";
  const std::vector<uint8_t> &D = *Data;
  std::ostringstream Out;
  Out << "{\"FwClass\":" << Quote(Hex(std::vector<uint8_t>(D.begin(), D.begin() + 16)))
      << ",\"FwType\":" << Le32(D, 16) << ",\"FwVersion\":" << Hex32(Le32(D, 20))
      << ",\"LowestSupportedFwVersion\":" << Hex32(Le32(D, 24))
      << ",\"CapsuleFlags\":" << Le32(D, 28) << ",\"LastAttemptVersion\":" << Hex32(Le32(D, 32))
      << ",\"LastAttemptStatus\":" << Le32(D, 36) << ",\"size\":" << D.size() << "}";
  return Out.str();
}

}  // namespace

int main(int argc, char **argv) {
  sim::PlatformOptions Options;
  bool Json = false;
  bool PrintTrace = false;
  std::string TraceFile;
  std::string PackageFile;

  std::vector<std::string> Args(argv + 1, argv + argc);
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string &A = Args[i];
    auto Value = [&]() -> std::string {
      if (i + 1 >= Args.size()) Fail(A + " needs a value");
      return Args[++i];
    };
    if (A == "--help" || A == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (A == "--json") {
      Json = true;
    } else if (A == "--trace") {
      PrintTrace = true;
    } else if (A == "--trace-file") {
      TraceFile = Value();
    } else if (A == "--package") {
      PackageFile = Value();
    } else if (A == "--no-controller") {
      Options.ControllerPresent = false;
    } else if (A == "--output-register") {
      Options.Controller.OutputRegister = static_cast<uint16_t>(ParseNumber(Value(), A));
    } else if (A == "--version-bytes") {
      uint64_t V = ParseNumber(Value(), A);
      Options.Controller.VersionBytes[0] = static_cast<uint8_t>(V >> 8);
      Options.Controller.VersionBytes[1] = static_cast<uint8_t>(V);
    } else if (A == "--commit-delay-ms") {
      Options.Controller.CommitDelayUs = static_cast<uint32_t>(ParseNumber(Value(), A) * 1000);
    } else if (A == "--commit-never-answers") {
      Options.DeviceFaults.CommitNeverAnswers = true;
    } else if (A == "--message") {
      touchsim::DeviceFaults &F = Options.DeviceFaults;
      if (F.ExtraMessageCount >= sizeof F.ExtraMessages) Fail("too many --message options");
      F.ExtraMessages[F.ExtraMessageCount++] = static_cast<uint8_t>(ParseNumber(Value(), A));
    } else if (A == "--reply-status") {
      auto P = ParsePair(Value(), A);
      Options.DeviceFaults.ReplyStatusAt = P.first;
      Options.DeviceFaults.ReplyStatusValue = static_cast<uint8_t>(P.second);
    } else if (A == "--short-reply") {
      auto P = ParsePair(Value(), A);
      Options.DeviceFaults.ShortReplyAt = P.first;
      Options.DeviceFaults.ShortReplyCount = static_cast<uint8_t>(P.second);
    } else if (A == "--short-replies-from") {
      auto P = ParsePair(Value(), A);
      Options.DeviceFaults.ShortRepliesFrom = P.first;
      Options.DeviceFaults.ShortReplyCount = static_cast<uint8_t>(P.second);
    } else if (A == "--overlong-reply") {
      auto P = ParsePair(Value(), A);
      Options.DeviceFaults.OverlongReplyAt = P.first;
      Options.DeviceFaults.OverlongReplyCount = static_cast<uint8_t>(P.second);
    } else if (A == "--smbus-length") {
      Options.DeviceFaults.ForcedSmbusLength = static_cast<uint8_t>(ParseNumber(Value(), A));
    } else if (A == "--fail") {
      std::vector<std::string> Parts = Split(Value(), ':');
      if (Parts.size() < 2) Fail("--fail takes KIND:INDEX[:SLAVE][:STATUS|nack]");
      sim::TransferFault F;
      F.Kind = Parts[0];
      if (F.Kind != "I2cWrite" && F.Kind != "I2cRead" && F.Kind != "SmbusExecute")
        Fail("--fail: unknown transfer kind " + F.Kind);
      F.Index = static_cast<uint32_t>(ParseNumber(Parts[1], "--fail index"));
      for (size_t k = 2; k < Parts.size(); ++k) {
        if (Parts[k] == "nack") {
          F.Nack = true;
        } else if (Parts[k].rfind("EFI_", 0) == 0) {
          F.Status = ParseStatus(Parts[k]);
        } else if (k == 2) {
          F.Slave = static_cast<int>(ParseNumber(Parts[k], "--fail slave"));
        } else {
          F.Status = ParseStatus(Parts[k]);
        }
      }
      Options.TransferFaults.push_back(F);
    } else if (A == "--line-never") {
      Options.LineNeverAsserts = true;
    } else if (A == "--line-delay") {
      Options.LineDelayReads = static_cast<uint32_t>(ParseNumber(Value(), A));
    } else if (A == "--smbus-handles") {
      Options.SmbusHandles.resize(ParseNumber(Value(), A));
    } else if (A == "--smbus-fail") {
      std::vector<std::string> Parts = Split(Value(), ':');
      if (Parts.size() < 2) Fail("--smbus-fail takes I:protocol|execute[:STATUS]");
      size_t Index = ParseNumber(Parts[0], A);
      if (Index >= Options.SmbusHandles.size()) Fail("--smbus-fail: no handle " + Parts[0]);
      EFI_STATUS S = Parts.size() > 2 ? ParseStatus(Parts[2]) : EFI_DEVICE_ERROR;
      if (Parts[1] == "protocol") {
        Options.SmbusHandles[Index].HandleProtocolStatus = S;
      } else if (Parts[1] == "execute") {
        Options.SmbusHandles[Index].ExecuteStatus = S;
      } else {
        Fail("--smbus-fail: protocol or execute, got " + Parts[1]);
      }
    } else if (A == "--no-i2c-protocol") {
      Options.I2cProtocolInstalled = false;
    } else if (A == "--variable") {
      std::string V = Value();
      if (V == "absent") {
        Options.StatusVariable.Present = false;
      } else if (V == "empty") {
        Options.StatusVariable.Present = true;
        Options.StatusVariable.Data.clear();
      } else {
        Options.StatusVariable.Present = true;
        Options.StatusVariable.Data = ParseHexBytes(V);
      }
    } else if (A == "--variable-size-query-fault") {
      Options.VariableSizeQueryFault = ParseStatus(Value());
    } else if (A == "--variable-read-fault") {
      Options.VariableReadFault = ParseStatus(Value());
    } else if (A == "--variable-store-fault") {
      std::vector<std::string> Parts = Split(Value(), ':');
      Options.VariableStoreFaultAt = static_cast<uint32_t>(ParseNumber(Parts[0], A));
      if (Parts.size() > 1) Options.VariableStoreFaultStatus = ParseStatus(Parts[1]);
    } else if (A == "--pool-fault") {
      Options.PoolFaultAt = static_cast<uint32_t>(ParseNumber(Value(), A));
    } else {
      Fail("unknown option " + A);
    }
  }

  std::string PackageText;
  if (!PackageFile.empty()) {
    std::ifstream In(PackageFile, std::ios::binary);
    if (!In) Fail("cannot read package file " + PackageFile + ": " + std::strerror(errno));
    PackageText.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
    if (In.bad()) Fail("cannot read package file " + PackageFile);
  }

  sim::Platform Platform(Options);
  sim::RunResult Result = PackageFile.empty() ? Platform.Run() : Platform.Run(PackageText);

  std::string TraceText = Platform.FormatTrace();
  if (!TraceFile.empty()) {
    std::ofstream Out(TraceFile);
    Out << TraceText;
    if (!Out) Fail("cannot write trace file " + TraceFile);
  }

  std::vector<uint32_t> Pauses = Platform.PausesMs();
  std::map<std::string, uint32_t> Calls = Platform.CallCounts();
  auto Count = [&](const char *Kind) { return Calls.count(Kind) ? Calls[Kind] : 0u; };
  touchsim::TouchController &Device = Platform.Controller();
  std::optional<std::vector<uint8_t>> After = Platform.StatusVariable();
  std::optional<std::vector<uint8_t>> Before;
  if (Result.VariableBeforePresent) Before = Result.VariableBefore;
  uint64_t PauseTotal = 0;
  for (uint32_t P : Pauses) PauseTotal += P;

  if (Json) {
    std::ostringstream J;
    J << "{\"status\":" << Quote(sim::StatusName(Result.Status))
      << ",\"status_code\":" << Hex32(sim::Ia32Status(Result.Status))
      << ",\"virtual_ms\":" << Result.VirtualUs / 1000 << ",\"pauses_ms\":[";
    for (size_t i = 0; i < Pauses.size(); ++i) J << (i ? "," : "") << Pauses[i];
    J << "],\"calls\":{";
    bool First = true;
    for (const auto &C : Calls) {
      if (C.first == "LineRead" || C.first == "Assert") continue;
      J << (First ? "" : ",") << Quote(C.first) << ":" << C.second;
      First = false;
    }
    J << "},\"bus\":{\"i2c_reads\":" << Count("I2cRead") << ",\"i2c_writes\":" << Count("I2cWrite")
      << ",\"smbus_executes\":" << Count("SmbusExecute")
      << ",\"interrupt_line_reads\":" << Count("LineRead") << "}";
    J << ",\"controller\":{\"present\":" << (Options.ControllerPresent ? "true" : "false")
      << ",\"requests_decoded\":" << Device.RequestsDecoded()
      << ",\"requests_ignored\":" << Device.RequestsIgnored()
      << ",\"output_register\":" << Device.AnnouncedOutputRegister()
      << ",\"restarts\":" << Device.RestartCount() << ",\"commits\":" << Device.CommitCount()
      << ",\"commands\":[";
    for (uint32_t i = 0; i < Device.CommandCount(); ++i) {
      const touchsim::CommandRecord &C = Device.Command(i);
      J << (i ? "," : "") << "{\"offset\":" << C.Offset << ",\"value\":" << unsigned(C.Value)
        << "}";
    }
    J << "],\"configuration\":[";
    First = true;
    const uint8_t *Stored = Device.StoredRegisters();
    for (uint32_t o = 0; o < Device.ObjectCount(); ++o) {
      const touchsim::ObjectDefinition &Object = Device.Object(o);
      for (uint32_t n = 0; n < Object.Instances; ++n) {
        std::vector<uint8_t> Bytes;
        for (uint32_t b = 0; b < Object.Size; ++b) {
          Bytes.push_back(Stored[(Device.ObjectAddress(o) + n * Object.Size + b) & 0xFFFF]);
        }
        J << (First ? "" : ",") << "{\"type\":" << unsigned(Object.Type) << ",\"instance\":" << n
          << ",\"bytes\":" << Quote(Hex(Bytes)) << "}";
        First = false;
      }
    }
    J << "]},\"status_variable\":{\"before\":" << VariableJson(Before)
      << ",\"after\":" << VariableJson(After) << ",\"after_fields\":" << DecodedEntry(After)
      << ",\"stores\":[";
    std::vector<std::vector<uint8_t>> Stores = Platform.StatusVariableStores();
    for (size_t i = 0; i < Stores.size(); ++i) J << (i ? "," : "") << Quote(Hex(Stores[i]));
    J << "]},\"tpl_violations\":" << Platform.TplViolations()
      << ",\"pool_leaked_bytes\":" << Platform.PoolOutstandingBytes()
      << ",\"assertion_failures\":" << Platform.AssertionFailures() << "}";
    std::cout << J.str() << "\n";
  } else {
    if (PrintTrace) std::cout << TraceText;
    std::printf("TouchUpdate returned %s (0x%08X)\n", sim::StatusName(Result.Status).c_str(),
                sim::Ia32Status(Result.Status));
    std::printf("package:          %s\n",
                PackageFile.empty() ? "embedded" : PackageFile.c_str());
    std::printf("virtual time:     %llu ms (%zu pauses, %llu ms paused)\n",
                static_cast<unsigned long long>(Result.VirtualUs / 1000), Pauses.size(),
                static_cast<unsigned long long>(PauseTotal));
    std::printf("bus:              %u I2C writes, %u I2C reads, %u SMBus executes\n",
                Count("I2cWrite"), Count("I2cRead"), Count("SmbusExecute"));
    if (Options.ControllerPresent) {
      std::printf("controller:       output register 0x%04X, %u requests decoded, %u ignored, "
                  "%u commands, %u commits, %u restarts\n",
                  Device.AnnouncedOutputRegister(), Device.RequestsDecoded(),
                  Device.RequestsIgnored(), Device.CommandCount(), Device.CommitCount(),
                  Device.RestartCount());
    } else {
      std::printf("controller:       absent\n");
    }
    std::printf("BX_ESRT before:   %s\n", Before ? Hex(*Before).c_str() : "absent");
    std::printf("BX_ESRT after:    %s\n", After ? Hex(*After).c_str() : "absent");
    if (After && After->size() >= 40) {
      std::printf("                  FwVersion 0x%08X, LastAttemptVersion 0x%08X, "
                  "LastAttemptStatus %u\n",
                  Le32(*After, 20), Le32(*After, 32), Le32(*After, 36));
    }
    if (Platform.TplViolations() != 0)
      std::printf("warning:          %u platform calls below TPL_HIGH_LEVEL\n",
                  Platform.TplViolations());
    if (Platform.PoolOutstandingBytes() != 0)
      std::printf("warning:          %llu bytes of pool leaked\n",
                  static_cast<unsigned long long>(Platform.PoolOutstandingBytes()));
    if (Platform.AssertionFailures() != 0)
      std::printf("warning:          %u assertion failures\n", Platform.AssertionFailures());
  }
  return Result.Status == EFI_SUCCESS ? 0 : 1;
}
