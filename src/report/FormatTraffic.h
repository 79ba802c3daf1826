// A byte count as the lists and reports show it: in the unit the user chose, digits grouped by
// blanks ("1 205.632 Kb"), the same in every locale.
#pragma once

#include <string>

// unit: 1 Kb, 2 Mb, 3 Gb (three decimals and the unit's name); any other value whole bytes.
std::string FormatTraffic(double bytes, int unit);

// The same text appended to out, for writers that build large texts.
void AppendTraffic(std::string& out, double bytes, int unit);
