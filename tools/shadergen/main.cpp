// makeshaderpack OUTPUT.cpp: writes the library's built-in shader pack as a C++ source that
// defines tessel::kBuiltInShaderPack and its size. The file is left alone when it already
// holds the same text, so that the library is rebuilt only when the shaders change.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/shadergen/shader_generator.h"

namespace {

std::string SourceText(const std::vector<uint8_t>& pack) {
    std::string text =
        "// Made by makeshaderpack: the built-in shader pack.\n"
        "#include <cstdint>\n\n"
        "namespace tessel {\n\n"
        "extern const uint32_t kBuiltInShaderPackSize;\n"
        "extern const unsigned char kBuiltInShaderPack[];\n"
        "const uint32_t kBuiltInShaderPackSize = " +
        std::to_string(pack.size()) +
        "u;\n"
        "alignas(16) const unsigned char kBuiltInShaderPack[" +
        std::to_string(pack.size() + 1) + "] =\n";
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < pack.size(); i += 64) {
        text += "    \"";
        for (size_t k = i; k < pack.size() && k < i + 64; ++k) {
            text += "\\x";
            text += kHex[pack[k] >> 4];
            text += kHex[pack[k] & 15];
        }
        text += "\"\n";
    }
    text += "    \"\";\n\n}  // namespace tessel\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeshaderpack OUTPUT.cpp\n");
        return 2;
    }
    std::vector<uint8_t> pack;
    if (tessel::shadergen::BuildShaderPack(&pack) != 0) {
        return 1;
    }
    const std::string text = SourceText(pack);
    {
        std::ifstream in(argv[1], std::ios::binary);
        if (in) {
            std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (old == text) {
                return 0;
            }
        }
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        std::fprintf(stderr, "makeshaderpack: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
