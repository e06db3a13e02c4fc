// Which installed font file stands in for a font that a program asks for by
// its Windows face name, weight, slant, character set and pitch.
#pragma once

#include <optional>
#include <string>

#include "platform/types.h"

namespace platform::gdi {

struct FaceRequest {
    std::string name;  // UTF-8; empty asks for the default face of the character set
    int weight = 400;  // 1-1000 as Windows counts it
    bool italic = false;
    DWORD charSet = 1;
    bool fixedPitch = false;
};

struct ResolvedFace {
    std::string file;
    int index = 0;       // face index inside the file
    std::string family;  // the family name fontconfig reports first
    bool monospaced = false;
    // True when neither the asked-for family nor a face that stands in for
    // it by name is installed, so that a generic face was taken.
    bool substituted = false;
};

// The best installed scalable face. Never fails while any scalable font is
// installed; a missing family falls back to one with the character set's
// language coverage.
std::optional<ResolvedFace> ResolveFace(const FaceRequest& request);

}  // namespace platform::gdi
