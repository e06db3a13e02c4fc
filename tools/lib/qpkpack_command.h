// The qpkpack command line as a function, so that tests can run it.
#pragma once

namespace tessel {

// Parses the arguments (argv[0] is the program) and packs the folder.
// 0 on success, 1 when packing failed, 2 for a bad command line (with the
// usage on stderr).
int RunQpkpack(int argc, char** argv);

}  // namespace tessel
