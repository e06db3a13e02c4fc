// Which cell of an animation shows at a given frame.
#pragma once

// first + ((int)(frame x speed) mod count), the product truncated toward zero:
// the index into the image cell table of the cell that shows. A record of no
// cells (count 0 or less) holds one image, so it gives `first`.
int AnimationCellIndex(int first, int count, int frame, double speed);
