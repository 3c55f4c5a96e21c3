// Writes the synthetic stand-in update package that the image embeds by
// default. The output is deterministic: the same program always writes the
// same bytes, so the checked-in package can be compared with a fresh one.
//
//   make-package OUTPUT_FILE
//
// The package switches all three updates on and carries a THQA blob of 256
// bytes, one configuration line per object instance of the default controller
// model, and 834 firmware frames. The data bytes are made up; only the shape
// (every count, length and size) is that of a product package.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char *const kLineEnd = "\r\n";

void AppendHexByte(std::string *Text, unsigned Value) {
  static const char kDigits[] = "0123456789ABCDEF";
  Text->push_back(kDigits[(Value >> 4) & 0xF]);
  Text->push_back(kDigits[Value & 0xF]);
}

void AppendHexWord(std::string *Text, unsigned Value) {
  AppendHexByte(Text, (Value >> 8) & 0xFF);
  AppendHexByte(Text, Value & 0xFF);
}

std::string HexLength(size_t Length) {
  char Buffer[16];
  std::snprintf(Buffer, sizeof Buffer, "%zX", Length);
  return Buffer;
}

// A small linear congruential generator: enough to make the payloads look
// like data rather than a pattern, and the same on every host.
struct Lcg {
  uint32_t State;
  unsigned NextByte() {
    State = State * 1103515245u + 12345u;
    return (State >> 16) & 0xFF;
  }
};

std::string ThqaSection() {
  std::string Text;
  // Blob header: five bytes the controller interprets; the blob follows.
  Text += "84 04";
  Text += kLineEnd;
  Text += "03 01";
  Text += kLineEnd;
  Text += "05";
  Text += kLineEnd;
  Lcg Random{0x54485141u};  // "THQA"
  for (int Line = 0; Line < 32; ++Line) {
    for (int Byte = 0; Byte < 8; ++Byte) {
      if (Byte != 0) Text.push_back(' ');
      AppendHexByte(&Text, Random.NextByte());
    }
    Text += kLineEnd;
  }
  return Text;
}

struct ConfigObject {
  unsigned Type;
  unsigned Instances;
  unsigned Size;
};

// The object list of the default controller model, written out again here; a
// test of the model checks that it holds every line this list produces.
const ConfigObject kConfigObjects[] = {
    {0x07, 1, 4},   {0x08, 1, 10}, {0x09, 2, 168}, {0x0F, 1, 11}, {0x12, 1, 2},
    {0x13, 1, 6},   {0x18, 1, 19}, {0x19, 1, 15},  {0x1B, 1, 7},  {0x28, 1, 5},
    {0x2A, 1, 13},  {0x2E, 1, 11}, {0x2F, 1, 22},  {0x38, 1, 36}, {0x3D, 12, 5},
    {0x3E, 1, 74},  {0x3F, 4, 9},  {0x41, 3, 20},  {0x42, 1, 4},  {0x44, 1, 0x49},
    {0x46, 10, 10}, {0x47, 1, 2},  {0x48, 1, 79},  {0x4C, 1, 2},  {0x4D, 1, 2},
    {0x4E, 1, 2},   {0x4F, 1, 3},
};

const unsigned kDataTransferObjectType = 0x44;

std::string ConfigurationSection() {
  std::string Text;
  for (const ConfigObject &Object : kConfigObjects) {
    for (unsigned Instance = 0; Instance < Object.Instances; ++Instance) {
      AppendHexWord(&Text, Object.Type);
      Text.push_back(' ');
      AppendHexWord(&Text, Instance);
      Text.push_back(' ');
      AppendHexWord(&Text, Object.Size);
      for (unsigned Offset = 0; Offset < Object.Size; ++Offset) {
        Text.push_back(' ');
        // The data transfer object is left all zero: its bytes start a
        // transfer on the controller, which a configuration must not do.
        unsigned Value = Object.Type == kDataTransferObjectType
                             ? 0
                             : (Object.Type + 0x10 * Instance + 7 * Offset) & 0xFF;
        AppendHexByte(&Text, Value);
      }
      Text += kLineEnd;
    }
  }
  return Text;
}

// Frame sizes in data bytes, in section order: seven odd sizes spread evenly
// (every 119th frame), the rest alternating 274 and 34 until the short ones
// run out.
std::vector<unsigned> FrameSizes() {
  const unsigned kOddSizes[] = {18, 100, 150, 170, 190, 200, 226};
  const unsigned kFrameCount = 834;
  const unsigned kOddSpacing = 119;
  const unsigned kLongFrames = 416;
  const unsigned kShortFrames = 411;
  std::vector<unsigned> Sizes;
  unsigned Long = 0, Short = 0, Odd = 0;
  for (unsigned Frame = 0; Frame < kFrameCount; ++Frame) {
    if (Frame % kOddSpacing == 0 && Odd < 7) {
      Sizes.push_back(kOddSizes[Odd++]);
    } else if (Short < kShortFrames && (Long + Short) % 2 == 1) {
      Sizes.push_back(34);
      ++Short;
    } else if (Long < kLongFrames) {
      Sizes.push_back(274);
      ++Long;
    } else {
      Sizes.push_back(34);
      ++Short;
    }
  }
  return Sizes;
}

std::string FirmwareSection() {
  std::string Text;
  Lcg Random{0x464D5752u};  // "FMWR"
  for (unsigned Size : FrameSizes()) {
    AppendHexWord(&Text, Size);
    for (unsigned Byte = 0; Byte < Size; ++Byte) {
      AppendHexByte(&Text, Random.NextByte());
    }
  }
  return Text;
}

}  // namespace

int main(int argc, char **argv) {
  // The header line may be given, for packages that switch operations off.
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make-package OUTPUT_FILE [HEADER_LINE]\n");
    return 2;
  }
  const std::string Header = argc == 3 ? argv[2] : "<THQA=ON CFG=ON FW=ON>";
  const std::string Thqa = ThqaSection();
  const std::string Configuration = ConfigurationSection();
  const std::string Firmware = FirmwareSection();

  std::string Package;
  Package += Header;
  Package += kLineEnd;
  Package += "20261211";  // the date line, year first
  Package += kLineEnd;
  Package += "00000000";  // the package version
  Package += kLineEnd;
  Package += HexLength(Thqa.size()) + kLineEnd;
  Package += HexLength(Configuration.size()) + kLineEnd;
  Package += HexLength(Firmware.size()) + kLineEnd;
  Package += Thqa;
  Package += Configuration;
  Package += Firmware;

  std::FILE *Out = std::fopen(argv[1], "wb");
  if (Out == nullptr) {
    std::fprintf(stderr, "make-package: cannot write %s\n", argv[1]);
    return 1;
  }
  bool Written = std::fwrite(Package.data(), 1, Package.size(), Out) == Package.size();
  Written = (std::fclose(Out) == 0) && Written;
  return Written ? 0 : 1;
}
