// The window's images, drawn at run time so that no bitmap has to ship: list state images,
// tool bar images and the application icon.
#pragma once

#include <QIcon>

#include <vector>

// Image 0 a counting filter, 1 a suspended one, 2 spare: the filter list's image list.
std::vector<QIcon> FilterImages();

enum class ToolImage
{
    Resume = 0,
    Suspend,
    Add,
    Remove,
    Edit,
    Options,
    Help
};
// 32 x 32, with a greyed variant for disabled buttons.
QIcon ToolBarImage(ToolImage image);
QIcon ApplicationIcon();
