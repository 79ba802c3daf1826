// The about box: program name, version and our web page.
#pragma once

#include <QDialog>

class CDlgAbout : public QDialog
{
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
};

// Our web page, shown in the about box and opened when no manual is installed.
inline constexpr const char* kOmbrixHomePage = "http://www.ombrix.example/";
