// Face resolution through fontconfig. The Windows face names that programs
// ask for first name the installed families that stand in for them; then a
// generic family (monospace, sans-serif or serif) with the character set's
// language, so that a fallback still covers the program's script.
#include "platform/gdi/font_faces_internal.h"

#include <fontconfig/fontconfig.h>

#include <vector>

#include "platform/gdi.h"
#include "platform/kernel/pathmap_internal.h"

namespace platform::gdi {

namespace {

// Windows face names and the installed families that take their place.
struct StandIn {
    std::vector<const char*> names;
    std::vector<const char*> families;
    const char* generic;
};

const std::vector<StandIn>& StandIns() {
    static const std::vector<StandIn> table = {
        {{"ＭＳ ゴシック", "MS Gothic"}, {"IPAGothic"}, "monospace"},
        {{"ＭＳ Ｐゴシック", "MS PGothic", "MS UI Gothic"}, {"IPAPGothic"}, "sans-serif"},
        {{"ＭＳ 明朝", "MS Mincho"}, {"IPAMincho"}, "serif"},
        {{"ＭＳ Ｐ明朝", "MS PMincho"}, {"IPAPMincho"}, "serif"},
    };
    return table;
}

const StandIn* StandInFor(const std::string& name) {
    for (const StandIn& entry : StandIns()) {
        for (const char* known : entry.names) {
            if (NamesEqualNoCase(name, known)) {
                return &entry;
            }
        }
    }
    return nullptr;
}

// Without a character set of its own a font takes the system's, code page 932.
const char* LanguageOf(DWORD charSet) {
    switch (charSet) {
        case HANGEUL_CHARSET:
            return "ko";
        case GB2312_CHARSET:
            return "zh-cn";
        case CHINESEBIG5_CHARSET:
            return "zh-tw";
        default:
            return "ja";
    }
}

bool InitFontconfig() {
    static const bool ready = FcInit() == FcTrue;
    return ready;
}

FcPattern* BuildPattern(const FaceRequest& request, const StandIn* standIn) {
    FcPattern* pattern = FcPatternCreate();
    auto addFamily = [pattern](const char* family) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    };
    if (!request.name.empty()) {
        addFamily(request.name.c_str());
    }
    if (standIn != nullptr) {
        for (const char* family : standIn->families) {
            addFamily(family);
        }
    }
    const char* generic = request.fixedPitch ? "monospace" : "sans-serif";
    addFamily(standIn != nullptr ? standIn->generic : generic);
    FcPatternAddString(pattern, FC_LANG,
                       reinterpret_cast<const FcChar8*>(LanguageOf(request.charSet)));
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(request.weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (request.fixedPitch) {
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    }
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

// True when one of the face's family names (fontconfig lists each language's
// spelling) is the asked-for name or one of its stand-ins.
bool IsWantedFamily(FcPattern* face, const FaceRequest& request, const StandIn* standIn) {
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(face, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        std::string name(reinterpret_cast<const char*>(family));
        if (NamesEqualNoCase(name, request.name)) {
            return true;
        }
        if (standIn == nullptr) {
            continue;
        }
        for (const char* wanted : standIn->families) {
            if (NamesEqualNoCase(name, wanted)) {
                return true;
            }
        }
    }
    return false;
}

ResolvedFace Describe(FcPattern* face) {
    ResolvedFace resolved;
    FcChar8* text = nullptr;
    if (FcPatternGetString(face, FC_FILE, 0, &text) == FcResultMatch) {
        resolved.file = reinterpret_cast<const char*>(text);
    }
    if (FcPatternGetString(face, FC_FAMILY, 0, &text) == FcResultMatch) {
        resolved.family = reinterpret_cast<const char*>(text);
    }
    FcPatternGetInteger(face, FC_INDEX, 0, &resolved.index);
    int spacing = FC_PROPORTIONAL;
    FcPatternGetInteger(face, FC_SPACING, 0, &spacing);
    resolved.monospaced = spacing == FC_MONO || spacing == FC_DUAL;
    return resolved;
}

}  // namespace

std::optional<ResolvedFace> ResolveFace(const FaceRequest& request) {
    if (!InitFontconfig()) {
        return std::nullopt;
    }
    const StandIn* standIn = StandInFor(request.name);
    FcPattern* pattern = BuildPattern(request, standIn);
    FcResult result = FcResultNoMatch;
    FcPattern* face = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (face == nullptr) {
        return std::nullopt;
    }
    ResolvedFace resolved = Describe(face);
    resolved.substituted = !request.name.empty() && !IsWantedFamily(face, request, standIn);
    FcPatternDestroy(face);
    if (resolved.file.empty()) {
        return std::nullopt;
    }
    return resolved;
}

}  // namespace platform::gdi
