// The built IA32 images must be something OVMF's loader accepts and can place
// anywhere: PE32 for the 80386, subsystem EFI application, relocatable with
// the one relocation kind a 32-bit loader applies, and no imports (firmware
// resolves none). The launcher must carry the product image unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using testsupport::ReadFileBytes;

uint32_t Le(const std::vector<uint8_t> &Bytes, size_t Offset, size_t Width) {
  if (Offset + Width > Bytes.size()) {
    ADD_FAILURE() << "read past the end of the image at " << Offset;
    return 0;
  }
  uint32_t Value = 0;
  for (size_t Index = Width; Index-- != 0;) {
    Value = Value << 8 | Bytes[Offset + Index];
  }
  return Value;
}

struct Section {
  uint32_t VirtualAddress;
  uint32_t VirtualSize;
  uint32_t RawOffset;
  uint32_t RawSize;
  uint32_t Characteristics;
};

struct PeImage {
  uint16_t Machine = 0;
  uint16_t FileCharacteristics = 0;
  uint16_t Magic = 0;
  uint16_t Subsystem = 0;
  uint32_t EntryPoint = 0;
  uint32_t ImportRva = 0, ImportSize = 0;
  uint32_t RelocRva = 0, RelocSize = 0;
  std::vector<Section> Sections;
};

PeImage Parse(const std::vector<uint8_t> &Bytes) {
  PeImage Image;
  EXPECT_EQ(Le(Bytes, 0, 2), 0x5A4Du) << "no MZ header";
  const uint32_t Pe = Le(Bytes, 0x3C, 4);
  EXPECT_EQ(Le(Bytes, Pe, 4), 0x00004550u) << "no PE signature";
  Image.Machine = static_cast<uint16_t>(Le(Bytes, Pe + 4, 2));
  const uint32_t SectionCount = Le(Bytes, Pe + 6, 2);
  const uint32_t OptionalSize = Le(Bytes, Pe + 20, 2);
  Image.FileCharacteristics = static_cast<uint16_t>(Le(Bytes, Pe + 22, 2));
  const uint32_t Opt = Pe + 24;
  Image.Magic = static_cast<uint16_t>(Le(Bytes, Opt, 2));
  Image.EntryPoint = Le(Bytes, Opt + 16, 4);
  Image.Subsystem = static_cast<uint16_t>(Le(Bytes, Opt + 68, 2));
  const uint32_t DirectoryCount = Le(Bytes, Opt + 92, 4);
  if (DirectoryCount > 1) {
    Image.ImportRva = Le(Bytes, Opt + 96 + 8 * 1, 4);
    Image.ImportSize = Le(Bytes, Opt + 96 + 8 * 1 + 4, 4);
  }
  if (DirectoryCount > 5) {
    Image.RelocRva = Le(Bytes, Opt + 96 + 8 * 5, 4);
    Image.RelocSize = Le(Bytes, Opt + 96 + 8 * 5 + 4, 4);
  }
  for (uint32_t Index = 0; Index < SectionCount; ++Index) {
    const uint32_t At = Opt + OptionalSize + 40 * Index;
    Image.Sections.push_back({Le(Bytes, At + 12, 4), Le(Bytes, At + 8, 4), Le(Bytes, At + 20, 4),
                              Le(Bytes, At + 16, 4), Le(Bytes, At + 36, 4)});
  }
  return Image;
}

const Section *SectionOf(const PeImage &Image, uint32_t Rva) {
  for (const Section &S : Image.Sections) {
    if (Rva >= S.VirtualAddress && Rva < S.VirtualAddress + S.VirtualSize) {
      return &S;
    }
  }
  return nullptr;
}

class ImageFormat : public ::testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
#ifndef TOUCH_IMAGES_BUILT
    GTEST_SKIP() << "the IA32 images are not part of this build";
#endif
    Path = std::string(TOUCH_BINARY_DIR) + "/" + GetParam();
    Bytes = ReadFileBytes(Path);
    ASSERT_GT(Bytes.size(), 0x40u) << Path << " is missing or truncated";
  }
  std::string Path;
  std::vector<uint8_t> Bytes;
};

TEST_P(ImageFormat, IsRelocatablePe32EfiApplicationFor80386) {
  const PeImage Image = Parse(Bytes);
  EXPECT_EQ(Image.Magic, 0x10B) << "optional header is not PE32";
  EXPECT_EQ(Image.Machine, 0x14C) << "machine is not Intel 80386";
  EXPECT_EQ(Image.Subsystem, 10) << "subsystem is not EFI application";
  EXPECT_EQ(Image.FileCharacteristics & 0x0001, 0) << "relocations stripped";
  EXPECT_EQ(Image.ImportSize, 0u) << "imports something the firmware cannot resolve";

  const Section *Entry = SectionOf(Image, Image.EntryPoint);
  ASSERT_NE(Entry, nullptr) << "entry point outside every section";
  EXPECT_NE(Entry->Characteristics & 0x20000000u, 0u) << "entry point not in executable code";

  // Every relocation block must lie in the file and hold only padding (0)
  // and 32-bit fix-ups (3): the IA32 loader applies nothing else.
  ASSERT_GT(Image.RelocSize, 0u) << "no base relocations: the firmware cannot move the image";
  const Section *Relocs = SectionOf(Image, Image.RelocRva);
  ASSERT_NE(Relocs, nullptr) << "relocation directory outside every section";
  uint32_t At = Relocs->RawOffset + (Image.RelocRva - Relocs->VirtualAddress);
  const uint32_t End = At + Image.RelocSize;
  ASSERT_LE(End, Bytes.size());
  uint32_t Fixups = 0;
  while (At + 8 <= End) {
    const uint32_t BlockSize = Le(Bytes, At + 4, 4);
    ASSERT_GE(BlockSize, 8u) << "relocation block at " << At;
    ASSERT_LE(At + BlockSize, End) << "relocation block at " << At;
    for (uint32_t Entry = At + 8; Entry + 2 <= At + BlockSize; Entry += 2) {
      const uint32_t Type = Le(Bytes, Entry, 2) >> 12;
      EXPECT_TRUE(Type == 0 || Type == 3) << "relocation type " << Type << " at " << Entry;
      Fixups += Type == 3;
    }
    At += BlockSize;
  }
  EXPECT_GT(Fixups, 0u);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageFormat, ::testing::Values("TouchUpdate.efi", "Launcher.efi"),
                         [](const ::testing::TestParamInfo<const char *> &Info) {
                           std::string Name = Info.param;
                           return Name.substr(0, Name.find('.'));
                         });

TEST(LauncherImage, CarriesTheProductImageByteForByte) {
#ifndef TOUCH_IMAGES_BUILT
  GTEST_SKIP() << "the IA32 images are not part of this build";
#endif
  const std::vector<uint8_t> Product = ReadFileBytes(std::string(TOUCH_BINARY_DIR) + "/TouchUpdate.efi");
  const std::vector<uint8_t> Launcher = ReadFileBytes(std::string(TOUCH_BINARY_DIR) + "/Launcher.efi");
  ASSERT_FALSE(Product.empty());
  ASSERT_GT(Launcher.size(), Product.size());
  const auto Found =
      std::search(Launcher.begin(), Launcher.end(),
                  std::boyer_moore_horspool_searcher(Product.begin(), Product.end()));
  EXPECT_NE(Found, Launcher.end()) << "Launcher.efi does not hold the current TouchUpdate.efi";
}

}  // namespace
