// Whatever the controller and the bus do, a run must end, hold nothing it
// took, stay at TPL_HIGH_LEVEL and never report success for a configuration
// the controller does not hold. Hundreds of seeded fault plans, each one a
// mix of misbehaving replies, lost transfers, late interrupt lines and odd
// object tables, drive the configuration-only run. Built with the address
// and undefined-behaviour sanitizers, the same runs show that no reply makes
// the application touch memory outside its buffers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/host/Platform.h"
#include "tests/TestSupport.h"

namespace {

using testsupport::Bytes;

std::string ConfigOnlyPackage() {
  std::string Text = testsupport::EmbeddedText();
  const std::string Header = "<THQA=ON CFG=ON FW=ON>";
  size_t At = Text.find(Header);
  EXPECT_EQ(At, 0u);
  Text.replace(At, Header.size(), "<THQA=OFF CFG=ON FW=OFF>");
  return Text;
}

// Every object's stored bytes by type, in table order. The message object is
// left out: it holds the queue, not configuration, and some plans resize it.
std::vector<std::pair<uint8_t, Bytes>> StoredConfiguration(touchsim::TouchController &Device) {
  std::vector<std::pair<uint8_t, Bytes>> Out;
  const uint8_t *Stored = Device.StoredRegisters();
  for (uint32_t o = 0; o < Device.ObjectCount(); ++o) {
    const touchsim::ObjectDefinition &Object = Device.Object(o);
    if (Object.Type == 5) continue;
    Bytes Data;
    uint32_t Length = static_cast<uint32_t>(Object.Size) * Object.Instances;
    for (uint32_t b = 0; b < Length; ++b) Data.push_back(Stored[(Device.ObjectAddress(o) + b) & 0xFFFF]);
    Out.emplace_back(Object.Type, Data);
  }
  return Out;
}

struct Plan {
  sim::PlatformOptions Options;
  bool WritesMayBeLostSilently = false;  // a write reply's status is not examined
  std::string Description;
};

Plan RandomPlan(std::mt19937 &Random) {
  auto Chance = [&](int Percent) { return static_cast<int>(Random() % 100) < Percent; };
  auto Upto = [&](uint32_t Max) { return static_cast<uint32_t>(Random() % (Max + 1)); };
  Plan P;
  touchsim::DeviceFaults &F = P.Options.DeviceFaults;
  std::string &D = P.Description;
  if (Chance(30)) {
    F.ReplyStatusAt = 1 + Upto(400);
    F.ReplyStatusValue = static_cast<uint8_t>(1 + Upto(254));
    P.WritesMayBeLostSilently = true;
    D += " reply-status@" + std::to_string(F.ReplyStatusAt);
  }
  if (Chance(30)) {
    F.ShortReplyAt = 1 + Upto(400);
    F.ShortReplyCount = static_cast<uint8_t>(Upto(14));
    D += " short@" + std::to_string(F.ShortReplyAt) + ":" + std::to_string(F.ShortReplyCount);
  }
  if (Chance(30)) {
    F.OverlongReplyAt = 1 + Upto(400);
    F.OverlongReplyCount = static_cast<uint8_t>(1 + Upto(254));
    D += " overlong@" + std::to_string(F.OverlongReplyAt) + ":" + std::to_string(F.OverlongReplyCount);
  }
  if (Chance(10)) {
    F.ShortRepliesFrom = 1 + Upto(400);
    F.ShortReplyCount = static_cast<uint8_t>(Upto(14));
    D += " short-from@" + std::to_string(F.ShortRepliesFrom);
  }
  if (Chance(20)) {
    F.ExtraMessageCount = 1 + Upto(15);
    for (uint32_t i = 0; i < F.ExtraMessageCount; ++i) F.ExtraMessages[i] = static_cast<uint8_t>(Random());
    F.ExtraMessagesBeforeCommit = Chance(50);
    D += " messages:" + std::to_string(F.ExtraMessageCount);
  }
  if (Chance(10)) {
    F.CommitNeverAnswers = true;
    D += " commit-never";
  }
  if (Chance(10)) {
    F.ForcedSmbusLength = static_cast<uint8_t>(Upto(30));
    D += " smbus-length:" + std::to_string(F.ForcedSmbusLength);
  }
  if (Chance(30)) {
    sim::TransferFault T;
    T.Kind = Chance(50) ? "I2cWrite" : "I2cRead";
    T.Index = 1 + Upto(400);
    T.Nack = Chance(50);
    D += " fail " + T.Kind + "@" + std::to_string(T.Index);
    P.Options.TransferFaults.push_back(T);
  }
  if (Chance(15)) {
    P.Options.LineDelayReads = Upto(25);
    D += " line-delay:" + std::to_string(P.Options.LineDelayReads);
  }
  if (Chance(3)) {
    P.Options.LineNeverAsserts = true;
    D += " line-never";
  }
  if (Chance(15)) {
    // A message object of any size, from one byte to far more than a message holds.
    for (uint32_t i = 0; i < P.Options.Controller.ObjectCount; ++i) {
      touchsim::ObjectDefinition &Object = P.Options.Controller.Objects[i];
      if (Object.Type == 5) Object.Size = static_cast<uint16_t>(1 + Upto(40));
    }
    D += " message-object-resized";
  }
  if (Chance(10)) {
    P.Options.Controller.CommitDelayUs = Upto(200) * 100000u;
    D += " commit-delay";
  }
  return P;
}

TEST(FaultPlanTest, EveryRunEndsCleanAndNeverClaimsAConfigurationItDidNotStore) {
  const std::string Package = ConfigOnlyPackage();

  sim::Platform Clean;
  ASSERT_EQ(Clean.Run(Package).Status, EFI_SUCCESS);
  const auto Expected = StoredConfiguration(Clean.Controller());

  std::mt19937 Random(20261211);
  uint32_t Successes = 0;
  for (int Run = 0; Run < 300; ++Run) {
    Plan P = RandomPlan(Random);
    SCOPED_TRACE("run " + std::to_string(Run) + ":" + P.Description);
    sim::Platform Platform(P.Options);
    sim::RunResult Result = Platform.Run(Package);

    EXPECT_EQ(Platform.PoolOutstandingBlocks(), 0u);
    EXPECT_EQ(Platform.TplViolations(), 0u);
    EXPECT_EQ(Platform.AssertionFailures(), 0u);
    // The longest honest run: 500 commit reads, each after up to 400 ms of
    // line wait and a 300 ms pause, and everything else well within the rest.
    EXPECT_LT(Result.VirtualUs, 30ull * 60 * 1000 * 1000);

    if (Result.Status == EFI_SUCCESS) {
      ++Successes;
      if (!P.WritesMayBeLostSilently) {
        EXPECT_EQ(StoredConfiguration(Platform.Controller()), Expected);
      }
      std::optional<Bytes> Variable = Platform.StatusVariable();
      ASSERT_TRUE(Variable.has_value());
      EXPECT_EQ(testsupport::Get32(*Variable, 36), 0u);  // LastAttemptStatus: success
    }
  }
  // The plans are meant to hurt; some runs must still get through.
  EXPECT_GT(Successes, 0u);
  EXPECT_LT(Successes, 300u);
}

}  // namespace
