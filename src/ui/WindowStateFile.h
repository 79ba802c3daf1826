// What the window shows, written to a file for the tests that drive the real program on an X
// server: they click by the row rectangles and check the outcome in the next write.
#pragma once

#include <QString>

class CMainFrame;
class COmbrixView;

// Replaces the file, in one rename, with lines of the form
//   window X Y WIDTH HEIGHT              the frame in screen coordinates
//   filter ROW X Y WIDTH HEIGHT NAME      each filter row's name cell, in screen coordinates
//   selected NAME                         the selected filter, or "selected" alone
//   command NAME 0|1                      Suspend, Resume, Edit, Remove: enabled or not
//   host ADDRESS                          each row of the captured hosts
void WriteWindowState(const QString& path, const CMainFrame& frame, const COmbrixView& view);
