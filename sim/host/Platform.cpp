// The simulated platform's services. Every service records itself in the
// trace with the virtual time and the task priority at which it was called;
// Stall advances the virtual clock and the controller model's time, so
// nothing on the host ever sleeps.
#include "sim/host/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "driver/Driver.h"
#include "link/ControllerLink.h"
#include "package/Package.h"
#include "platform/Library.h"
#include "sim/common/StatusNames.h"

namespace sim {
namespace {

const EFI_GUID kI2cGuid = PLATFORM_I2C_ACCESS_PROTOCOL_GUID;
const EFI_GUID kSmbusGuid = EFI_SMBUS_HC_PROTOCOL_GUID;
const EFI_GUID kStatusVariableGuid = TOUCH_STATUS_VARIABLE_GUID;
const std::u16string kStatusVariableName = u"BX_ESRT";

bool SameGuid(const EFI_GUID *A, const EFI_GUID &B) {
  return A != nullptr && std::memcmp(A, &B, sizeof(EFI_GUID)) == 0;
}

std::string GuidKey(const EFI_GUID *Guid) {
  return std::string(reinterpret_cast<const char *>(Guid), sizeof(EFI_GUID));
}

std::u16string NameOf(const CHAR16 *Name) {
  std::u16string Out;
  if (Name == nullptr) return Out;
  for (size_t i = 0; Name[i] != 0 && i < 1024; ++i) Out.push_back(Name[i]);
  return Out;
}

std::string Narrow(const std::u16string &Name) {
  std::string Out;
  for (char16_t c : Name) Out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return Out;
}

struct Variable {
  uint32_t Attributes = 0;
  std::vector<uint8_t> Data;
};

}  // namespace

struct Platform::Impl {
  PlatformOptions Options;
  std::unique_ptr<touchsim::TouchController> Device;

  EFI_SYSTEM_TABLE SystemTable{};
  EFI_BOOT_SERVICES BootServices{};
  EFI_RUNTIME_SERVICES RuntimeServices{};
  PLATFORM_I2C_ACCESS_PROTOCOL I2c{};
  std::vector<EFI_SMBUS_HC_PROTOCOL> Smbus;
  std::vector<uint8_t> SmbusHandleTags;  // the handles are addresses of these bytes
  uint8_t ImageHandleTag = 0;

  std::vector<TraceEvent> Trace;
  uint64_t NowUs = 0;
  EFI_TPL Tpl = TPL_APPLICATION;
  bool InRun = false;
  uint32_t Assertions = 0;

  std::map<void *, size_t> Pool;
  uint32_t AppAllocations = 0;
  std::map<std::string, uint32_t> TransferCounts;  // per fault rule
  uint32_t LineDelayLeft = 0;

  std::map<std::pair<std::u16string, std::string>, Variable> Variables;
  uint32_t VariableStoreCalls = 0;
  std::vector<std::vector<uint8_t>> StatusStores;

  TraceEvent &Record(const std::string &Kind) {
    TraceEvent Event;
    Event.TimeUs = NowUs;
    Event.Kind = Kind;
    Event.Tpl = Tpl;
    Trace.push_back(std::move(Event));
    return Trace.back();
  }

  // Returns the fault that applies to this transfer, if any.
  const TransferFault *MatchFault(const std::string &Kind, uint8_t Slave) {
    const TransferFault *Hit = nullptr;
    for (size_t i = 0; i < Options.TransferFaults.size(); ++i) {
      const TransferFault &Fault = Options.TransferFaults[i];
      if (Fault.Kind != Kind || (Fault.Slave >= 0 && Fault.Slave != Slave)) continue;
      uint32_t &Count = TransferCounts[std::to_string(i)];
      ++Count;
      if (Count == Fault.Index && Hit == nullptr) Hit = &Fault;
    }
    return Hit;
  }

  void *PoolAllocate(size_t Size) {
    void *Buffer = std::malloc(Size == 0 ? 1 : Size);
    // Fresh pool is not zero on real firmware either.
    std::memset(Buffer, 0xAF, Size == 0 ? 1 : Size);
    Pool[Buffer] = Size;
    return Buffer;
  }
};

namespace {

Platform::Impl *gActive = nullptr;

Platform::Impl &Active() {
  if (gActive == nullptr) {
    std::fprintf(stderr, "simulated platform: a service was called with no platform attached\n");
    std::abort();
  }
  return *gActive;
}

// --- Boot services ---

EFI_TPL EFIAPI SimRaiseTpl(EFI_TPL NewTpl) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("RaiseTPL");
  E.Value = NewTpl;
  EFI_TPL Old = P.Tpl;
  if (NewTpl < Old) E.Detail = "raise below the current level";
  P.Tpl = NewTpl;
  return Old;
}

VOID EFIAPI SimRestoreTpl(EFI_TPL OldTpl) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("RestoreTPL");
  E.Value = OldTpl;
  if (OldTpl > P.Tpl) E.Detail = "restore above the current level";
  P.Tpl = OldTpl;
}

EFI_STATUS EFIAPI SimAllocatePool(EFI_MEMORY_TYPE PoolType, UINTN Size, VOID **Buffer) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("AllocatePool");
  E.Value = Size;
  ++P.AppAllocations;
  if (Buffer == nullptr) {
    E.Status = EFI_INVALID_PARAMETER;
  } else if (P.Options.PoolFaultAt != 0 && P.AppAllocations == P.Options.PoolFaultAt) {
    *Buffer = nullptr;
    E.Status = EFI_OUT_OF_RESOURCES;
  } else {
    *Buffer = P.PoolAllocate(Size);
    E.Status = EFI_SUCCESS;
  }
  if (PoolType != EfiBootServicesData) E.Detail = "pool type " + std::to_string(PoolType);
  return E.Status;
}

EFI_STATUS EFIAPI SimFreePool(VOID *Buffer) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("FreePool");
  auto It = P.Pool.find(Buffer);
  if (It == P.Pool.end()) {
    E.Status = EFI_INVALID_PARAMETER;
    E.Detail = "not a pool allocation";
    return E.Status;
  }
  E.Value = It->second;
  std::free(Buffer);
  P.Pool.erase(It);
  E.Status = EFI_SUCCESS;
  return E.Status;
}

EFI_STATUS EFIAPI SimStall(UINTN Microseconds) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("Stall");
  E.Value = Microseconds;
  P.NowUs += Microseconds;
  if (P.Device) P.Device->AdvanceTime(Microseconds);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SimLocateProtocol(EFI_GUID *Protocol, VOID *Registration, VOID **Interface) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("LocateProtocol");
  (void)Registration;
  if (Interface == nullptr || Protocol == nullptr) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  if (SameGuid(Protocol, kI2cGuid) && P.Options.I2cProtocolInstalled) {
    E.Detail = "platform I2C access";
    *Interface = &P.I2c;
    E.Status = EFI_SUCCESS;
  } else {
    *Interface = nullptr;
    E.Status = EFI_NOT_FOUND;
  }
  return E.Status;
}

EFI_STATUS EFIAPI SimLocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE SearchType, EFI_GUID *Protocol,
                                        VOID *SearchKey, UINTN *NoHandles, EFI_HANDLE **Buffer) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("LocateHandleBuffer");
  (void)SearchKey;
  if (NoHandles == nullptr || Buffer == nullptr || SearchType != ByProtocol) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  *NoHandles = 0;
  *Buffer = nullptr;
  if (!SameGuid(Protocol, kSmbusGuid) || P.Smbus.empty()) {
    E.Status = EFI_NOT_FOUND;
    return E.Status;
  }
  size_t Count = P.Smbus.size();
  EFI_HANDLE *Handles = static_cast<EFI_HANDLE *>(P.PoolAllocate(Count * sizeof(EFI_HANDLE)));
  for (size_t i = 0; i < Count; ++i) Handles[i] = &P.SmbusHandleTags[i];
  *NoHandles = Count;
  *Buffer = Handles;
  E.Value = Count;
  E.Status = EFI_SUCCESS;
  return E.Status;
}

EFI_STATUS EFIAPI SimHandleProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("HandleProtocol");
  if (Interface == nullptr) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  *Interface = nullptr;
  for (size_t i = 0; i < P.SmbusHandleTags.size(); ++i) {
    if (Handle != &P.SmbusHandleTags[i]) continue;
    E.Value = i;
    EFI_STATUS Fault = P.Options.SmbusHandles[i].HandleProtocolStatus;
    if (EFI_ERROR(Fault)) {
      E.Status = Fault;
    } else if (SameGuid(Protocol, kSmbusGuid)) {
      *Interface = &P.Smbus[i];
      E.Status = EFI_SUCCESS;
    } else {
      E.Status = EFI_UNSUPPORTED;
    }
    return E.Status;
  }
  E.Status = EFI_INVALID_PARAMETER;
  E.Detail = "unknown handle";
  return E.Status;
}

VOID EFIAPI SimCopyMem(VOID *Destination, VOID *Source, UINTN Length) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("CopyMem");
  E.Value = Length;
  std::memmove(Destination, Source, Length);
}

VOID EFIAPI SimSetMem(VOID *Buffer, UINTN Size, UINT8 Value) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("SetMem");
  E.Value = Size;
  std::memset(Buffer, Value, Size);
}

// --- SMBus host controller ---

EFI_STATUS EFIAPI SimSmbusExecute(const EFI_SMBUS_HC_PROTOCOL *This,
                                  EFI_SMBUS_DEVICE_ADDRESS SlaveAddress,
                                  EFI_SMBUS_DEVICE_COMMAND Command, EFI_SMBUS_OPERATION Operation,
                                  BOOLEAN PecCheck, UINTN *Length, VOID *Buffer) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("SmbusExecute");
  uint8_t Slave = static_cast<uint8_t>(SlaveAddress.SmbusDeviceAddress);
  E.Slave = Slave;
  size_t Index = static_cast<size_t>(This - P.Smbus.data());
  std::ostringstream Detail;
  Detail << "handle " << Index << " command " << Command << " operation " << Operation
         << " pec " << int(PecCheck) << " length " << (Length ? *Length : 0);
  E.Detail = Detail.str();
  if (Index >= P.Smbus.size() || Length == nullptr || Buffer == nullptr) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  EFI_STATUS Fault = P.Options.SmbusHandles[Index].ExecuteStatus;
  if (EFI_ERROR(Fault)) {
    E.Status = Fault;
    return E.Status;
  }
  if (const TransferFault *F = P.MatchFault("SmbusExecute", Slave)) {
    E.Status = F->Nack ? EFI_DEVICE_ERROR : F->Status;
    return E.Status;
  }
  if (Operation != EfiSmbusReadBlock) {
    E.Status = EFI_UNSUPPORTED;
    return E.Status;
  }
  uint8_t Block[64] = {};
  uint32_t Got = 32;
  bool Ack = P.Options.ControllerPresent && P.Device &&
             P.Device->SmbusReadBlock(Slave, static_cast<uint8_t>(Command), Block, &Got);
  if (!Ack) {
    E.Status = EFI_DEVICE_ERROR;
    return E.Status;
  }
  if (Got > 32) Got = 32;
  size_t Copy = Got < *Length ? Got : *Length;
  std::memcpy(Buffer, Block, Copy);
  *Length = Got;
  E.Bytes.assign(Block, Block + Copy);
  E.Status = EFI_SUCCESS;
  return E.Status;
}

// --- Platform I2C access protocol ---

void CheckConstantArguments(TraceEvent &E, UINTN A1, UINTN A3, UINTN A4) {
  if (A1 != 0 || A3 != 0 || A4 != 1) {
    E.Detail = "unexpected constant arguments " + std::to_string(A1) + "," + std::to_string(A3) +
               "," + std::to_string(A4);
  }
}

EFI_STATUS EFIAPI SimI2cRead(UINTN A1, UINTN SlaveAddress, UINTN A3, UINTN A4, VOID *Buffer,
                             UINTN Length) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("I2cRead");
  E.Slave = static_cast<uint8_t>(SlaveAddress);
  E.Value = Length;
  CheckConstantArguments(E, A1, A3, A4);
  if (Buffer == nullptr && Length != 0) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  if (const TransferFault *F = P.MatchFault("I2cRead", E.Slave)) {
    E.Status = F->Nack ? EFI_NO_RESPONSE : F->Status;
    return E.Status;
  }
  bool Ack = P.Options.ControllerPresent && P.Device &&
             P.Device->Read(E.Slave, static_cast<uint8_t *>(Buffer), static_cast<uint32_t>(Length));
  if (!Ack) {
    E.Status = EFI_NO_RESPONSE;
    return E.Status;
  }
  E.Bytes.assign(static_cast<uint8_t *>(Buffer), static_cast<uint8_t *>(Buffer) + Length);
  E.Status = EFI_SUCCESS;
  return E.Status;
}

EFI_STATUS EFIAPI SimI2cWrite(UINTN A1, UINTN SlaveAddress, UINTN A3, UINTN A4, VOID *Buffer,
                              UINTN Length) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("I2cWrite");
  E.Slave = static_cast<uint8_t>(SlaveAddress);
  E.Value = Length;
  CheckConstantArguments(E, A1, A3, A4);
  if (Buffer == nullptr && Length != 0) {
    E.Detail = "no buffer";
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  if (Length > 255) {
    E.Detail = "write longer than one transfer carries";
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  E.Bytes.assign(static_cast<uint8_t *>(Buffer), static_cast<uint8_t *>(Buffer) + Length);
  P.LineDelayLeft = P.Options.LineDelayReads;
  if (const TransferFault *F = P.MatchFault("I2cWrite", E.Slave)) {
    E.Status = F->Nack ? EFI_NO_RESPONSE : F->Status;
    return E.Status;
  }
  bool Ack = P.Options.ControllerPresent && P.Device &&
             P.Device->Write(E.Slave, static_cast<uint8_t *>(Buffer), static_cast<uint32_t>(Length));
  E.Status = Ack ? EFI_SUCCESS : EFI_NO_RESPONSE;
  return E.Status;
}

// --- Runtime services: a non-volatile variable store ---

EFI_STATUS EFIAPI SimGetVariable(CHAR16 *VariableName, EFI_GUID *VendorGuid, UINT32 *Attributes,
                                 UINTN *DataSize, VOID *Data) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("GetVariable");
  std::u16string Name = NameOf(VariableName);
  E.Detail = Narrow(Name);
  if (VariableName == nullptr || VendorGuid == nullptr || DataSize == nullptr) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  E.Value = *DataSize;
  bool SizeQuery = Data == nullptr || *DataSize == 0;
  if (SizeQuery && EFI_ERROR(P.Options.VariableSizeQueryFault)) {
    E.Status = P.Options.VariableSizeQueryFault;
    return E.Status;
  }
  if (!SizeQuery && EFI_ERROR(P.Options.VariableReadFault)) {
    E.Status = P.Options.VariableReadFault;
    return E.Status;
  }
  auto It = P.Variables.find({Name, GuidKey(VendorGuid)});
  if (It == P.Variables.end()) {
    E.Status = EFI_NOT_FOUND;
    return E.Status;
  }
  const Variable &V = It->second;
  if (*DataSize < V.Data.size()) {
    *DataSize = V.Data.size();
    E.Status = EFI_BUFFER_TOO_SMALL;
    return E.Status;
  }
  if (Data == nullptr && !V.Data.empty()) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  if (!V.Data.empty()) std::memcpy(Data, V.Data.data(), V.Data.size());
  *DataSize = V.Data.size();
  if (Attributes != nullptr) *Attributes = V.Attributes;
  E.Bytes = V.Data;
  E.Status = EFI_SUCCESS;
  return E.Status;
}

EFI_STATUS EFIAPI SimSetVariable(CHAR16 *VariableName, EFI_GUID *VendorGuid, UINT32 Attributes,
                                 UINTN DataSize, VOID *Data) {
  Platform::Impl &P = Active();
  TraceEvent &E = P.Record("SetVariable");
  std::u16string Name = NameOf(VariableName);
  E.Detail = Narrow(Name) + " attributes " + std::to_string(Attributes);
  E.Value = DataSize;
  ++P.VariableStoreCalls;
  if (VariableName == nullptr || VendorGuid == nullptr || Name.empty() ||
      (DataSize != 0 && Data == nullptr)) {
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  if (Data != nullptr) E.Bytes.assign(static_cast<uint8_t *>(Data), static_cast<uint8_t *>(Data) + DataSize);
  if (P.Options.VariableStoreFaultAt != 0 &&
      P.VariableStoreCalls == P.Options.VariableStoreFaultAt) {
    E.Status = P.Options.VariableStoreFaultStatus;
    return E.Status;
  }
  auto Key = std::make_pair(Name, GuidKey(VendorGuid));
  auto It = P.Variables.find(Key);
  if (Attributes == 0 || DataSize == 0) {
    if (It == P.Variables.end()) {
      E.Status = EFI_NOT_FOUND;
    } else {
      P.Variables.erase(It);
      E.Status = EFI_SUCCESS;
    }
    return E.Status;
  }
  if (It != P.Variables.end() && It->second.Attributes != Attributes) {
    // An existing variable keeps its attributes; a store with others is refused.
    E.Status = EFI_INVALID_PARAMETER;
    return E.Status;
  }
  Variable &V = P.Variables[Key];
  V.Attributes = Attributes;
  V.Data = E.Bytes;
  if (Name == kStatusVariableName && SameGuid(VendorGuid, kStatusVariableGuid)) {
    P.StatusStores.push_back(V.Data);
  }
  E.Status = EFI_SUCCESS;
  return E.Status;
}

// Clears the application's program-wide state as a fresh image load would.
void ResetApplicationImage() {
  std::memset(&ControllerState, 0, sizeof ControllerState);
  std::memset(&PackageFlags, 0, sizeof PackageFlags);
  PackageVersion = 0;
  StatusRecord = nullptr;
  StatusRecordSize = 0;
  I2cProtocol = nullptr;
  gImageHandle = nullptr;
  gST = nullptr;
  gBS = nullptr;
  gRT = nullptr;
  gPackageText = gEmbeddedPackage;
  gPackageLength = gEmbeddedPackageLength;
}

}  // namespace

// --- The host side of the platform seams ---

}  // namespace sim

UINT32 ReadInterruptLineRegister(VOID) {
  sim::Platform::Impl &P = sim::Active();
  sim::TraceEvent &E = P.Record("LineRead");
  bool Asserted = P.Options.ControllerPresent && P.Device && P.Device->InterruptAsserted() &&
                  !P.Options.LineNeverAsserts;
  if (Asserted && P.LineDelayLeft > 0) {
    --P.LineDelayLeft;
    Asserted = false;
  }
  E.Value = Asserted ? 1 : 0;
  // Bit 30 clear means asserted; the other bits read as set, as on the board.
  return Asserted ? ~INTERRUPT_LINE_BIT : 0xFFFFFFFFu;
}

VOID DebugAssert(const CHAR8 *FileName, UINTN LineNumber, const CHAR8 *Description) {
  if (sim::gActive == nullptr) {
    std::fprintf(stderr, "ASSERT %s(%lu): %s\n", FileName, static_cast<unsigned long>(LineNumber),
                 Description);
    return;
  }
  sim::TraceEvent &E = sim::gActive->Record("Assert");
  E.Detail = std::string(FileName) + ":" + std::to_string(LineNumber) + ": " + Description;
  ++sim::gActive->Assertions;
}

namespace sim {

uint32_t Ia32Status(EFI_STATUS Status) {
  uint32_t Low = static_cast<uint32_t>(Status & 0x7FFFFFFFu);
  return EFI_ERROR(Status) ? (0x80000000u | Low) : Low;
}

std::string StatusName(EFI_STATUS Status) {
  if (const CHAR8 *Name = KnownStatusName(Status)) return Name;
  char Text[32];
  std::snprintf(Text, sizeof Text, "0x%08X", Ia32Status(Status));
  return Text;
}

PlatformOptions::PlatformOptions() { touchsim::DefaultControllerConfig(&Controller); }

Platform::Platform(const PlatformOptions &Options) : impl_(new Impl) {
  Impl &P = *impl_;
  P.Options = Options;
  if (P.Options.ControllerPresent) {
    P.Device.reset(new touchsim::TouchController());
    P.Device->PowerOn(P.Options.Controller, P.Options.DeviceFaults);
  }

  EFI_BOOT_SERVICES &Bs = P.BootServices;
  Bs.Hdr.Signature = 0x56524553544f4f42ull;  // "BOOTSERV"
  Bs.Hdr.HeaderSize = sizeof(EFI_BOOT_SERVICES);
  Bs.RaiseTPL = SimRaiseTpl;
  Bs.RestoreTPL = SimRestoreTpl;
  Bs.AllocatePool = SimAllocatePool;
  Bs.FreePool = SimFreePool;
  Bs.HandleProtocol = SimHandleProtocol;
  Bs.Stall = SimStall;
  Bs.LocateHandleBuffer = SimLocateHandleBuffer;
  Bs.LocateProtocol = SimLocateProtocol;
  Bs.CopyMem = SimCopyMem;
  Bs.SetMem = SimSetMem;

  EFI_RUNTIME_SERVICES &Rt = P.RuntimeServices;
  Rt.Hdr.Signature = 0x56524553544e5552ull;  // "RUNTSERV"
  Rt.Hdr.HeaderSize = sizeof(EFI_RUNTIME_SERVICES);
  Rt.GetVariable = SimGetVariable;
  Rt.SetVariable = SimSetVariable;

  EFI_SYSTEM_TABLE &St = P.SystemTable;
  St.Hdr.Signature = 0x5453595320494249ull;  // "IBI SYST"
  St.Hdr.HeaderSize = sizeof(EFI_SYSTEM_TABLE);
  St.BootServices = &Bs;
  St.RuntimeServices = &Rt;

  P.I2c.Read = SimI2cRead;
  P.I2c.Write = SimI2cWrite;

  P.Smbus.resize(P.Options.SmbusHandles.size());
  for (EFI_SMBUS_HC_PROTOCOL &S : P.Smbus) S.Execute = SimSmbusExecute;
  P.SmbusHandleTags.resize(P.Options.SmbusHandles.size());

  if (P.Options.StatusVariable.Present) {
    Variable &V = P.Variables[{kStatusVariableName, GuidKey(&kStatusVariableGuid)}];
    V.Attributes = P.Options.StatusVariable.Attributes;
    V.Data = P.Options.StatusVariable.Data;
  }
}

Platform::~Platform() {
  if (gActive == impl_.get()) gActive = nullptr;
  for (auto &Block : impl_->Pool) std::free(Block.first);
}

void Platform::Attach() {
  Impl &P = *impl_;
  gActive = &P;
  ResetApplicationImage();
  gImageHandle = &P.ImageHandleTag;
  gST = &P.SystemTable;
  gBS = &P.BootServices;
  gRT = &P.RuntimeServices;
}

RunResult Platform::Run() { return Run(std::string(gEmbeddedPackage, gEmbeddedPackageLength)); }

RunResult Platform::Run(const std::string &PackageText) {
  Impl &P = *impl_;
  gActive = &P;
  ResetApplicationImage();
  // The text must outlive the run and carry its NUL, as the embedded one does.
  static std::string Text;
  Text = PackageText;
  gPackageText = Text.c_str();
  gPackageLength = static_cast<UINT32>(Text.size());

  RunResult Result;
  if (auto Before = StatusVariable()) {
    Result.VariableBeforePresent = true;
    Result.VariableBefore = *Before;
  }
  P.Trace.clear();
  // What an earlier run leaked is reported by that run; it is not this one's.
  for (auto &Block : P.Pool) std::free(Block.first);
  P.Pool.clear();
  P.AppAllocations = 0;
  P.TransferCounts.clear();
  P.VariableStoreCalls = 0;
  P.StatusStores.clear();
  P.Assertions = 0;
  P.Tpl = TPL_APPLICATION;
  uint64_t Start = P.NowUs;
  P.InRun = true;
  Result.Status = TouchUpdateEntry(&P.ImageHandleTag, &P.SystemTable);
  P.InRun = false;
  Result.VirtualUs = P.NowUs - Start;
  return Result;
}

EFI_SYSTEM_TABLE *Platform::SystemTable() { return &impl_->SystemTable; }
PLATFORM_I2C_ACCESS_PROTOCOL *Platform::I2cProtocolInstance() { return &impl_->I2c; }

touchsim::TouchController &Platform::Controller() {
  if (!impl_->Device) {
    // A board without the controller still has a model to inspect: an idle one.
    impl_->Device.reset(new touchsim::TouchController());
    impl_->Device->PowerOn(impl_->Options.Controller, impl_->Options.DeviceFaults);
  }
  return *impl_->Device;
}

const PlatformOptions &Platform::Options() const { return impl_->Options; }
const std::vector<TraceEvent> &Platform::Trace() const { return impl_->Trace; }
void Platform::ClearTrace() { impl_->Trace.clear(); }
uint64_t Platform::NowUs() const { return impl_->NowUs; }
uint32_t Platform::AssertionFailures() const { return impl_->Assertions; }

std::vector<TraceEvent> Platform::Events(const std::string &Kind) const {
  std::vector<TraceEvent> Out;
  for (const TraceEvent &E : impl_->Trace) {
    if (E.Kind == Kind) Out.push_back(E);
  }
  return Out;
}

std::vector<uint32_t> Platform::PausesMs() const {
  std::vector<uint32_t> Out;
  for (const TraceEvent &E : impl_->Trace) {
    if (E.Kind == "Stall") Out.push_back(static_cast<uint32_t>(E.Value / 1000));
  }
  return Out;
}

std::map<std::string, uint32_t> Platform::CallCounts() const {
  std::map<std::string, uint32_t> Out;
  for (const TraceEvent &E : impl_->Trace) ++Out[E.Kind];
  return Out;
}

uint32_t Platform::TplViolations() const {
  uint32_t Count = 0;
  for (const TraceEvent &E : impl_->Trace) {
    if (!E.Detail.empty() && (E.Kind == "RaiseTPL" || E.Kind == "RestoreTPL")) ++Count;
    if (E.Kind == "Stall" || E.Kind == "RaiseTPL" || E.Kind == "RestoreTPL" || E.Kind == "Assert")
      continue;
    if (E.Tpl < TPL_HIGH_LEVEL) ++Count;
  }
  return Count;
}

uint64_t Platform::PoolOutstandingBytes() const {
  uint64_t Bytes = 0;
  for (const auto &Block : impl_->Pool) Bytes += Block.second;
  return Bytes;
}

uint32_t Platform::PoolOutstandingBlocks() const {
  return static_cast<uint32_t>(impl_->Pool.size());
}

std::optional<std::vector<uint8_t>> Platform::StatusVariable() const {
  auto It = impl_->Variables.find({kStatusVariableName, GuidKey(&kStatusVariableGuid)});
  if (It == impl_->Variables.end()) return std::nullopt;
  return It->second.Data;
}

std::optional<uint32_t> Platform::StatusVariableAttributes() const {
  auto It = impl_->Variables.find({kStatusVariableName, GuidKey(&kStatusVariableGuid)});
  if (It == impl_->Variables.end()) return std::nullopt;
  return It->second.Attributes;
}

std::vector<std::vector<uint8_t>> Platform::StatusVariableStores() const {
  return impl_->StatusStores;
}

std::string Platform::FormatTrace() const {
  std::ostringstream Out;
  char Line[160];
  for (const TraceEvent &E : impl_->Trace) {
    if (E.Kind == "CopyMem" || E.Kind == "SetMem") continue;
    std::snprintf(Line, sizeof Line, "%12.3f ms  %-20s", E.TimeUs / 1000.0, E.Kind.c_str());
    Out << Line;
    if (E.Kind == "Stall") {
      Out << E.Value / 1000 << " ms";
    } else if (E.Kind == "LineRead") {
      Out << (E.Value ? "asserted" : "not asserted");
    } else if (E.Kind == "RaiseTPL" || E.Kind == "RestoreTPL") {
      Out << "TPL " << E.Value;
    } else {
      if (E.Kind == "I2cWrite" || E.Kind == "I2cRead" || E.Kind == "SmbusExecute") {
        std::snprintf(Line, sizeof Line, "slave 0x%02X  %3llu bytes  ", E.Slave,
                      static_cast<unsigned long long>(E.Kind == "SmbusExecute" ? E.Bytes.size()
                                                                                  : E.Value));
        Out << Line;
      }
      Out << StatusName(E.Status);
      for (size_t i = 0; i < E.Bytes.size(); ++i) {
        std::snprintf(Line, sizeof Line, "%s%02X", i == 0 ? "  " : " ", E.Bytes[i]);
        Out << Line;
      }
    }
    if (!E.Detail.empty()) Out << "  (" << E.Detail << ")";
    Out << "\n";
  }
  return Out.str();
}

}  // namespace sim
