// Hands what start-up loaded to the play scene: the kind rows and image
// tables of the four data tables, which the bullet and enemy managers copy
// when a game is built, the pictures of the play field and its panel cut from
// the image cells, and the floor model.
#pragma once

// Call once the data tables, the image cells and the system images are loaded.
void InstallPlayAssets();
