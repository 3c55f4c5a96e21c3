// touch-update-sim is an interface integrators script against: its exit
// statuses and the keys of its JSON report must hold.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

struct ToolRun {
  int Exit = -1;
  std::string Out;
};

ToolRun RunTool(const std::string &Arguments) {
  std::string Command = std::string(TOUCH_BINARY_DIR) + "/touch-update-sim " + Arguments + " 2>&1";
  ToolRun Run;
  FILE *Pipe = popen(Command.c_str(), "r");
  if (Pipe == nullptr) return Run;
  char Buffer[4096];
  size_t Got;
  while ((Got = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Run.Out.append(Buffer, Got);
  int Status = pclose(Pipe);
  Run.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Run;
}

TEST(SimToolTest, JsonReportCarriesTheDocumentedKeys) {
  ToolRun Run = RunTool("--json");
  for (const char *Key :
       {"\"status\":", "\"status_code\":\"0x", "\"virtual_ms\":", "\"pauses_ms\":[", "\"calls\":{",
        "\"bus\":{", "\"i2c_reads\":", "\"i2c_writes\":", "\"smbus_executes\":", "\"controller\":{",
        "\"requests_decoded\":", "\"requests_ignored\":", "\"output_register\":", "\"commands\":[",
        "\"configuration\":[", "\"status_variable\":{", "\"before\":null", "\"after\":",
        "\"stores\":["}) {
    EXPECT_NE(Run.Out.find(Key), std::string::npos) << Key << "\n" << Run.Out.substr(0, 400);
  }
  bool Success = Run.Out.find("\"status\":\"EFI_SUCCESS\"") != std::string::npos;
  EXPECT_EQ(Run.Exit, Success ? 0 : 1);
}

TEST(SimToolTest, ExitStatusesSeparateUsageErrorsFromFailedRuns) {
  EXPECT_EQ(RunTool("--package /nonexistent/package.txt").Exit, 2);
  EXPECT_EQ(RunTool("--no-such-option").Exit, 2);
  EXPECT_EQ(RunTool("--fail Bogus:1").Exit, 2);

  // A package that asks for nothing succeeds without touching the controller's objects.
  std::string Path = std::string(TOUCH_BINARY_DIR) + "/sim-tool-nothing.txt";
  std::ofstream(Path) << "<THQA=OFF CFG=OFF FW=OFF>\r\n20261211\r\n00000000\r\n0\r\n0\r\n0\r\n";
  ToolRun Nothing = RunTool("--json --package " + Path);
  EXPECT_EQ(Nothing.Exit, 0) << Nothing.Out;
  EXPECT_NE(Nothing.Out.find("\"status_code\":\"0x00000000\""), std::string::npos);

  // A run that fails exits 1 and says which status it returned.
  ToolRun NoProtocol = RunTool("--no-i2c-protocol --package " + Path);
  EXPECT_EQ(NoProtocol.Exit, 1);
  EXPECT_NE(NoProtocol.Out.find("EFI_NOT_FOUND (0x8000000E)"), std::string::npos)
      << NoProtocol.Out;
}

TEST(SimToolTest, TraceShowsEveryTransferWithItsVirtualTime) {
  ToolRun Run = RunTool("--trace --no-controller");
  EXPECT_NE(Run.Out.find("SmbusExecute"), std::string::npos);
  EXPECT_NE(Run.Out.find("Stall"), std::string::npos);
  EXPECT_NE(Run.Out.find("controller:       absent"), std::string::npos);
}

}  // namespace
