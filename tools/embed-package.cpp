// Turns an update package file into a C++ source that holds its text and a
// NUL after it, for both builds of the application.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: embed-package PACKAGE_FILE OUTPUT_CPP\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "embed-package: cannot read %s\n", argv[1]);
    return 2;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string out;
  out.reserve(text.size() * 5 + 256);
  out += "// Generated from the update package; do not edit.\n";
  out += "#include \"package/Package.h\"\n";
  out += "const UINT32 gEmbeddedPackageLength = " + std::to_string(text.size()) + "u;\n";
  out += "const CHAR8 gEmbeddedPackage[] = {";
  char hex[8];
  for (size_t i = 0; i < text.size(); ++i) {
    if (i % 24 == 0) out += "\n";
    std::snprintf(hex, sizeof hex, "%d,", static_cast<unsigned char>(text[i]));
    out += hex;
  }
  out += "\n0};\n";
  std::ofstream o(argv[2], std::ios::binary);
  o << out;
  return o ? 0 : 1;
}
