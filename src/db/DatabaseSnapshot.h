// A consistent copy of a statistics file that another process may be writing.
#pragma once

#include <string>

// Copies source into target (created or overwritten) with SQLite's online backup, a few pages
// at a time with a pause between, so that a writer of the source never waits for more than one
// short step; a write in the middle makes the copy start again, so that it shows one saved
// state. The source is only read and its journal mode is left alone. False with the reason in
// error when it cannot be read or stays busy past the time-out.
bool CopyDatabaseSnapshot(const std::string& source, const std::string& target, std::string& error,
                          int timeoutSeconds = 120);
