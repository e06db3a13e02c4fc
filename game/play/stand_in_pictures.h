// Pictures for play without the game's image files: the screens a frame is
// drawn on, the letter sheet and one plain picture in every place of the play
// field's image tables, all made on the running library. The replay proof
// draws with them on either drawing path, to show that drawing never changes
// play.
#pragma once

// Makes every picture on the running library: 0, or -1 (with nothing left
// made) when the library refuses one. Call after PrepareStandInPlay, which
// clears the kind tables' image handles.
int MakeStandInPictures();
// Releases them and leaves every handle unset again.
void ReleaseStandInPictures();
