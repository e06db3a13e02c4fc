// makewalker: writes our walking PMD character, its two motions and its toon
// ramps into a directory (walker.pmd, walker000.vmd, walker001.vmd,
// toon01.bmp, toon02.bmp).
//
//   makewalker DIRECTORY
#include <cstdio>

#include "tools/lib/pmd_character.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makewalker DIRECTORY\n");
        return 2;
    }
    if (tessel::WriteWalkerFiles(argv[1]) != 0) {
        std::fprintf(stderr, "makewalker: cannot write the files into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
