// The game's data folder, made from nothing but code and the committed data
// tables: every picture, sound, music track and model the game loads.
#pragma once

#include <string>

namespace tessel {

// Writes the data below `outFolder` (a Linux path, created as needed), taking
// the CSV tables from below `tablesFolder`. `previews` also writes PNG copies
// of the pictures the game reads under names without an extension. Returns the
// number of files written, or -1 when any file could not be made (each
// failure is named on stderr).
int GenerateGameData(const std::string& outFolder, const std::string& tablesFolder, bool previews);

// The command line: makegamedata [--previews] OUT_FOLDER TABLES_FOLDER.
int RunMakeGameData(int argc, char** argv);

}  // namespace tessel
