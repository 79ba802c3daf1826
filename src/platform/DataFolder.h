// Where the program keeps its files: the executable's folder, the user's data folder and the
// statistics database in it, with the one-time move of a database left beside the executable.
#pragma once

#include <string>

// The folder of the running executable, ending with "/".
std::string GetExecutableFolder();
// $XDG_DATA_HOME (or ~/.local/share) + "/Ombrix/", created if missing; the executable's folder
// when it can neither be created nor exists. Computed once and kept.
std::string GetDataFolder();
// GetDataFolder() + "traffic.db".
std::string GetDatabasePath();

// The data folder below a base folder (the user's data home), created when missing; fallback
// when that fails. Both folders end with "/".
std::string MakeDataFolder(const std::string& dataHome, const std::string& fallback);

// Moves an old "traffic.db" from the executable's folder into the data folder once: when the data
// folder has none, copy it there (never overwriting) and, only after the copy is complete,
// rename the old one to "traffic.bak". A failed copy leaves everything as it was, so that the next
// start still finds the database. Returns true when a database was moved.
bool PlaceDatabase(const std::string& dataFolder, const std::string& executableFolder);
