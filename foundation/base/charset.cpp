#include "foundation/base/charset.h"

namespace tessel {

int32_t LibraryCharSet = kCharSetDefault;

uint32_t LibraryCodePage() {
    switch (LibraryCharSet) {
        case kCharSetKorean:
            return 949;
        case kCharSetTraditionalChinese:
            return 950;
        case kCharSetSimplifiedChinese:
            return 936;
        default:
            return 932;
    }
}

}  // namespace tessel
