// The rows of the bullet and enemy kind tables and the image tables cut from
// the image files, as the bullet and enemy managers copy them when they are
// built: the data tables' own types, which start-up reads from the CSV files.
#pragma once

#include "game/data/game_data.h"

constexpr int kKindRows = kBulletKinds;
static_assert(kEnemyKinds == kKindRows, "both managers copy tables of one size");
