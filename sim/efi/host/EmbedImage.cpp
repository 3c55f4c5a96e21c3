// Host tool: turns a built EFI image into a C++ source for the launcher, so
// the launcher can hand the product image to the firmware's loader as it is.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: embed-image IMAGE_FILE OUTPUT_CPP\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "embed-image: cannot read %s\n", argv[1]);
    return 2;
  }
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  if (bytes.empty()) {
    std::fprintf(stderr, "embed-image: %s is empty\n", argv[1]);
    return 2;
  }
  std::string out;
  out.reserve(bytes.size() * 5 + 256);
  out += "// Generated from a built EFI image; do not edit.\n";
  out += "#include \"sim/efi/ProductImage.h\"\n";
  out += "const UINTN gProductImageSize = " + std::to_string(bytes.size()) + "u;\n";
  // Aligned so the firmware's loader may read the headers in place.
  out += "alignas(16) const UINT8 gProductImage[] = {";
  char hex[8];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 20 == 0) out += "\n";
    std::snprintf(hex, sizeof hex, "%u,", static_cast<unsigned>(bytes[i]));
    out += hex;
  }
  out += "\n};\n";
  std::ofstream o(argv[2], std::ios::binary);
  o << out;
  return o ? 0 : 1;
}
