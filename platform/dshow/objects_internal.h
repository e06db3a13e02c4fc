// The count of live media-graph objects, which the test hooks report.
#pragma once

namespace platform::dshow {

void CountObjectMade();
void CountObjectGone();

}  // namespace platform::dshow
