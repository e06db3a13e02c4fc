#include "foundation/base/charset.h"

namespace tessel {

int32_t LibraryCharSet = kCharSetDefault;

}  // namespace tessel
