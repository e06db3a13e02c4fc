// qpkpack: packs a folder into a data archive that stands in for it (the
// command line is tools/lib/qpkpack_command.h).
#include "tools/lib/qpkpack_command.h"

int main(int argc, char** argv) {
    return tessel::RunQpkpack(argc, argv);
}
