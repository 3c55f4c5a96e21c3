// The launcher booted on real firmware (OVMF IA32 in QEMU): it stands in for
// the platform around the touch controller, starts the unchanged product
// image, and prints what happened on the console for a person or a test.
//
// \launcher.cfg on the boot volume chooses which bus protocols are offered:
//   protocols=all | none | smbus | i2c   (a comma list of the last two works too)
// Without the file both are installed.
#include "platform/Protocols.h"
#include "sim/efi/Console.h"
#include "sim/efi/ControllerBridge.h"
#include "sim/efi/LauncherProtocols.h"
#include "sim/efi/ProductImage.h"

namespace {

EFI_BOOT_SERVICES *gBoot;
EFI_RUNTIME_SERVICES *gRuntime;

EFI_GUID gSmbusGuid = EFI_SMBUS_HC_PROTOCOL_GUID;
EFI_GUID gI2cGuid = PLATFORM_I2C_ACCESS_PROTOCOL_GUID;
EFI_GUID gStatusVariableGuid = TOUCH_STATUS_VARIABLE_GUID;
EFI_GUID gLoadedImageGuid = LAUNCHER_LOADED_IMAGE_PROTOCOL_GUID;
EFI_GUID gFileSystemGuid = LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID;
CHAR16 gStatusVariableName[] = u"BX_ESRT";
CHAR16 gConfigFileName[] = u"\\launcher.cfg";

typedef struct {
  BOOLEAN InstallSmbus;
  BOOLEAN InstallI2c;
} LAUNCHER_CONFIG;

// Holds a whole status variable of any size a test would seed, and more.
UINT8 gVariableBuffer[512];
CHAR8 gConfigText[256];

BOOLEAN WordAt(const CHAR8 *Text, UINTN Length, const CHAR8 *Word) {
  UINTN Index = 0;
  for (; Word[Index] != 0; ++Index) {
    if (Index >= Length || Text[Index] != Word[Index]) {
      return FALSE;
    }
  }
  // A word ends at a separator or at the end of the value.
  return Index == Length || Text[Index] == ',' || Text[Index] == ' ';
}

// Reads the protocols= value; anything not understood leaves the default.
VOID ParseConfig(const CHAR8 *Text, UINTN Length, LAUNCHER_CONFIG *Config) {
  static const CHAR8 kKey[] = "protocols=";
  const UINTN KeyLength = sizeof(kKey) - 1;
  for (UINTN Start = 0; Start + KeyLength <= Length; ++Start) {
    if (Start != 0 && Text[Start - 1] != '\n') {
      continue;
    }
    UINTN Index = 0;
    while (Index < KeyLength && Text[Start + Index] == kKey[Index]) {
      ++Index;
    }
    if (Index != KeyLength) {
      continue;
    }
    UINTN ValueStart = Start + KeyLength;
    UINTN ValueEnd = ValueStart;
    while (ValueEnd < Length && Text[ValueEnd] != '\n' && Text[ValueEnd] != '\r') {
      ++ValueEnd;
    }
    LAUNCHER_CONFIG Chosen = {FALSE, FALSE};
    BOOLEAN Understood = FALSE;
    for (UINTN Word = ValueStart; Word < ValueEnd; ++Word) {
      if (Word != ValueStart && Text[Word - 1] != ',' && Text[Word - 1] != ' ') {
        continue;
      }
      const CHAR8 *At = Text + Word;
      UINTN Rest = ValueEnd - Word;
      if (WordAt(At, Rest, "all")) {
        Chosen.InstallSmbus = TRUE;
        Chosen.InstallI2c = TRUE;
        Understood = TRUE;
      } else if (WordAt(At, Rest, "none")) {
        Understood = TRUE;
      } else if (WordAt(At, Rest, "smbus")) {
        Chosen.InstallSmbus = TRUE;
        Understood = TRUE;
      } else if (WordAt(At, Rest, "i2c")) {
        Chosen.InstallI2c = TRUE;
        Understood = TRUE;
      }
    }
    if (Understood) {
      *Config = Chosen;
    } else {
      PrintLine("config: protocols= value not understood, installing both");
    }
    return;
  }
}

VOID ReadConfig(EFI_HANDLE ImageHandle, LAUNCHER_CONFIG *Config) {
  Config->InstallSmbus = TRUE;
  Config->InstallI2c = TRUE;

  LAUNCHER_LOADED_IMAGE_PROTOCOL *LoadedImage = nullptr;
  LAUNCHER_SIMPLE_FILE_SYSTEM_PROTOCOL *FileSystem = nullptr;
  LAUNCHER_FILE_PROTOCOL *Root = nullptr;
  LAUNCHER_FILE_PROTOCOL *File = nullptr;
  EFI_STATUS Status =
      gBoot->HandleProtocol(ImageHandle, &gLoadedImageGuid, reinterpret_cast<VOID **>(&LoadedImage));
  if (!EFI_ERROR(Status)) {
    Status = gBoot->HandleProtocol(LoadedImage->DeviceHandle, &gFileSystemGuid,
                                   reinterpret_cast<VOID **>(&FileSystem));
  }
  if (!EFI_ERROR(Status)) {
    Status = FileSystem->OpenVolume(FileSystem, &Root);
  }
  if (!EFI_ERROR(Status)) {
    Status = Root->Open(Root, &File, gConfigFileName, LAUNCHER_FILE_MODE_READ, 0);
  }
  UINTN Size = sizeof(gConfigText) - 1;
  if (!EFI_ERROR(Status)) {
    Status = File->Read(File, &Size, gConfigText);
    File->Close(File);
  }
  if (Root != nullptr) {
    Root->Close(Root);
  }

  CONSOLE_LINE Line;
  LineStart(&Line);
  if (EFI_ERROR(Status)) {
    LineText(&Line, "config: no \\launcher.cfg (");
    LineText(&Line, StatusName(Status));
    LineText(&Line, ")");
  } else {
    if (Size > sizeof(gConfigText) - 1) {
      Size = sizeof(gConfigText) - 1;
    }
    gConfigText[Size] = 0;
    ParseConfig(gConfigText, Size, Config);
    LineText(&Line, "config: \\launcher.cfg read");
  }
  LineText(&Line, "; smbus ");
  LineText(&Line, Config->InstallSmbus ? "on" : "off");
  LineText(&Line, ", i2c ");
  LineText(&Line, Config->InstallI2c ? "on" : "off");
  LineEnd(&Line);
}

VOID InstallProtocols(const LAUNCHER_CONFIG *Config) {
  EFI_HANDLE Handle = nullptr;
  CONSOLE_LINE Line;
  if (Config->InstallSmbus) {
    EFI_STATUS Status =
        gBoot->InstallProtocolInterface(&Handle, &gSmbusGuid, EFI_NATIVE_INTERFACE, &gSmbusInstance);
    LineStart(&Line);
    LineText(&Line, "protocol smbus: ");
    LineText(&Line, EFI_ERROR(Status) ? "install failed " : "installed ");
    LineStatus(&Line, Status);
    LineEnd(&Line);
  } else {
    PrintLine("protocol smbus: not installed");
  }
  if (Config->InstallI2c) {
    EFI_STATUS Status =
        gBoot->InstallProtocolInterface(&Handle, &gI2cGuid, EFI_NATIVE_INTERFACE, &gI2cInstance);
    LineStart(&Line);
    LineText(&Line, "protocol i2c: ");
    LineText(&Line, EFI_ERROR(Status) ? "install failed " : "installed ");
    LineStatus(&Line, Status);
    LineEnd(&Line);
  } else {
    PrintLine("protocol i2c: not installed");
  }
}

UINT32 ReadLe32(const UINT8 *Bytes) {
  return static_cast<UINT32>(Bytes[0]) | static_cast<UINT32>(Bytes[1]) << 8 |
         static_cast<UINT32>(Bytes[2]) << 16 | static_cast<UINT32>(Bytes[3]) << 24;
}

// One line with the raw bytes (what the tests compare across boots) and,
// when a whole entry is there, one line with the fields a person reads.
VOID PrintStatusVariable(const CHAR8 *When) {
  UINT32 Attributes = 0;
  UINTN Size = sizeof(gVariableBuffer);
  EFI_STATUS Status = gRuntime->GetVariable(gStatusVariableName, &gStatusVariableGuid,
                                            &Attributes, &Size, gVariableBuffer);
  CONSOLE_LINE Line;
  LineStart(&Line);
  LineText(&Line, "BX_ESRT ");
  LineText(&Line, When);
  LineText(&Line, ": ");
  if (Status == EFI_NOT_FOUND) {
    LineText(&Line, "absent");
    LineEnd(&Line);
    return;
  }
  if (EFI_ERROR(Status)) {
    LineText(&Line, "unreadable ");
    LineStatus(&Line, Status);
    if (Status == EFI_BUFFER_TOO_SMALL) {
      LineText(&Line, ", size ");
      LineDecimal(&Line, static_cast<UINT32>(Size));
    }
    LineEnd(&Line);
    return;
  }
  LineDecimal(&Line, static_cast<UINT32>(Size));
  LineText(&Line, " bytes, attributes ");
  LineHex(&Line, Attributes, 1);
  LineText(&Line, ":");
  for (UINTN Index = 0; Index < Size; ++Index) {
    LineText(&Line, " ");
    LineHexByte(&Line, gVariableBuffer[Index]);
  }
  LineEnd(&Line);
  if (Size >= sizeof(EFI_SYSTEM_RESOURCE_ENTRY)) {
    LineStart(&Line);
    LineText(&Line, "BX_ESRT ");
    LineText(&Line, When);
    LineText(&Line, " fields: FwVersion ");
    LineHex(&Line, ReadLe32(gVariableBuffer + offsetof(EFI_SYSTEM_RESOURCE_ENTRY, FwVersion)), 8);
    LineText(&Line, ", LowestSupportedFwVersion ");
    LineHex(&Line,
            ReadLe32(gVariableBuffer + offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LowestSupportedFwVersion)),
            8);
    LineText(&Line, ", LastAttemptVersion ");
    LineHex(&Line,
            ReadLe32(gVariableBuffer + offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LastAttemptVersion)), 8);
    LineText(&Line, ", LastAttemptStatus ");
    LineDecimal(&Line,
                ReadLe32(gVariableBuffer + offsetof(EFI_SYSTEM_RESOURCE_ENTRY, LastAttemptStatus)));
    LineEnd(&Line);
  }
}

// Starts the product from the bytes the launcher carries. Returns what its
// entry point returned, or the loader's failure.
EFI_STATUS RunProduct(EFI_HANDLE ImageHandle) {
  CONSOLE_LINE Line;
  LineStart(&Line);
  LineText(&Line, "starting TouchUpdate (");
  LineDecimal(&Line, static_cast<UINT32>(gProductImageSize));
  LineText(&Line, " bytes)");
  LineEnd(&Line);

  EFI_HANDLE Child = nullptr;
  EFI_STATUS Status = gBoot->LoadImage(FALSE, ImageHandle, nullptr,
                                       const_cast<UINT8 *>(gProductImage), gProductImageSize,
                                       &Child);
  if (EFI_ERROR(Status)) {
    LineStart(&Line);
    LineText(&Line, "LoadImage failed ");
    LineStatus(&Line, Status);
    LineEnd(&Line);
    return Status;
  }
  BridgeHookStall(gBoot);
  Status = gBoot->StartImage(Child, nullptr, nullptr);
  BridgeUnhookStall(gBoot);

  LineStart(&Line);
  LineText(&Line, "TouchUpdate returned ");
  LineStatus(&Line, Status);
  LineEnd(&Line);
  return Status;
}

VOID PrintModelReport(VOID) {
  CONSOLE_LINE Line;
  LineStart(&Line);
  LineText(&Line, "model: mode ");
  LineText(&Line, gModel.InBootloader() ? "bootloader" : "application");
  LineText(&Line, ", output register ");
  LineHex(&Line, gModel.AnnouncedOutputRegister(), 4);
  LineEnd(&Line);

  LineStart(&Line);
  LineText(&Line, "model: requests decoded ");
  LineDecimal(&Line, gModel.RequestsDecoded());
  LineText(&Line, ", ignored ");
  LineDecimal(&Line, gModel.RequestsIgnored());
  LineEnd(&Line);

  // Command bytes as offset=value within the command object.
  const UINT32 CommandCount = gModel.CommandCount();
  LineStart(&Line);
  LineText(&Line, "model: command bytes ");
  LineDecimal(&Line, CommandCount);
  if (CommandCount != 0) {
    LineText(&Line, ":");
  }
  for (UINT32 Index = 0; Index < CommandCount; ++Index) {
    const touchsim::CommandRecord &Record = gModel.Command(Index);
    LineText(&Line, " ");
    LineDecimal(&Line, Record.Offset);
    LineText(&Line, "=");
    LineHex(&Line, Record.Value, 2);
  }
  LineEnd(&Line);

  LineStart(&Line);
  LineText(&Line, "model: commits ");
  LineDecimal(&Line, gModel.CommitCount());
  LineText(&Line, ", restarts ");
  LineDecimal(&Line, gModel.RestartCount());
  LineEnd(&Line);

  // The stored configuration, one line per object instance in the layout of
  // a package's configuration line ("TTTT IIII: bytes"), so that a person or
  // a script can hold it against the package.
  const UINT8 *Stored = gModel.StoredRegisters();
  for (UINT32 Index = 0; Index < gModel.ObjectCount(); ++Index) {
    const touchsim::ObjectDefinition &Object = gModel.Object(Index);
    for (UINT32 Instance = 0; Instance < Object.Instances; ++Instance) {
      LineStart(&Line);
      LineText(&Line, "model: stored 00");
      LineHexByte(&Line, Object.Type);
      LineText(&Line, " ");
      LineHexByte(&Line, static_cast<UINT8>(Instance >> 8));
      LineHexByte(&Line, static_cast<UINT8>(Instance));
      LineText(&Line, ":");
      UINT32 Address = gModel.ObjectAddress(Index) + Instance * Object.Size;
      for (UINT32 Offset = 0; Offset < Object.Size; ++Offset) {
        LineText(&Line, " ");
        LineHexByte(&Line, Stored[(Address + Offset) & 0xFFFF]);
      }
      LineEnd(&Line);
    }
  }

  LineStart(&Line);
  LineText(&Line, "bus: smbus calls ");
  LineDecimal(&Line, gBridgeCounts.SmbusCalls);
  LineText(&Line, ", unacknowledged ");
  LineDecimal(&Line, gBridgeCounts.SmbusUnacknowledged);
  LineEnd(&Line);

  // Calls whose constant arguments, address or length no caller should pass.
  LineStart(&Line);
  LineText(&Line, "bus: malformed calls ");
  LineDecimal(&Line, gBridgeCounts.MalformedCalls);
  LineEnd(&Line);

  UINT32 SlavesSeen = 0;
  for (UINT32 Slave = 0; Slave < 128; ++Slave) {
    const BRIDGE_SLAVE_COUNTS &Counts = gBridgeCounts.Slaves[Slave];
    if (Counts.Writes == 0 && Counts.Reads == 0) {
      continue;
    }
    ++SlavesSeen;
    LineStart(&Line);
    LineText(&Line, "bus: i2c ");
    LineHex(&Line, Slave, 2);
    LineText(&Line, " writes ");
    LineDecimal(&Line, Counts.Writes);
    LineText(&Line, " (");
    LineDecimal(&Line, Counts.WriteBytes);
    LineText(&Line, " bytes), reads ");
    LineDecimal(&Line, Counts.Reads);
    LineText(&Line, " (");
    LineDecimal(&Line, Counts.ReadBytes);
    LineText(&Line, " bytes), unacknowledged ");
    LineDecimal(&Line, Counts.Unacknowledged);
    LineEnd(&Line);
  }
  if (SlavesSeen == 0) {
    PrintLine("bus: i2c no transfers");
  }

  LineStart(&Line);
  LineText(&Line, "pauses: ");
  LineDecimal(&Line, gBridgeCounts.Pauses);
  LineText(&Line, ", ");
  LineDecimal(&Line, gBridgeCounts.PausedMs);
  LineText(&Line, " ms");
  LineEnd(&Line);
}

}  // namespace

extern "C" EFI_STATUS EFIAPI LauncherEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gBoot = SystemTable->BootServices;
  gRuntime = SystemTable->RuntimeServices;
  ConsoleSetup(SystemTable->ConOut);
  PrintLine("touch update launcher");

  LAUNCHER_CONFIG Config;
  ReadConfig(ImageHandle, &Config);
  BridgePowerOn();
  InstallProtocols(&Config);
  PrintStatusVariable("before");

  // The product holds TPL_HIGH_LEVEL and pauses for seconds at a time; the
  // firmware's five-minute watchdog must not end the boot under it.
  EFI_STATUS Status = gBoot->SetWatchdogTimer(0, 0, 0, nullptr);
  if (EFI_ERROR(Status)) {
    CONSOLE_LINE Line;
    LineStart(&Line);
    LineText(&Line, "watchdog could not be disabled: ");
    LineStatus(&Line, Status);
    LineEnd(&Line);
  }

  EFI_STATUS ProductStatus = RunProduct(ImageHandle);
  PrintStatusVariable("after");
  PrintModelReport();
  PrintLine("end of report");

  gRuntime->ResetSystem(EfiResetShutdown, EFI_SUCCESS, 0, nullptr);
  return ProductStatus;  // only if the firmware could not shut down
}
