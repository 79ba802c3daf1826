// Column widths and order of the dialogs' lists, kept in the settings store under the list's
// section ("Filter", "PortFilter", "Adapter"), as the window's own lists keep theirs.
#pragma once

class CSettingsStore;
class QTreeWidget;

// A missing or malformed stored value keeps the list's own layout. store may be null.
void RestoreListLayout(QTreeWidget& list, const CSettingsStore* store, const char* section);
void SaveListLayout(const QTreeWidget& list, CSettingsStore* store, const char* section);
