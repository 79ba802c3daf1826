// The about box: program name, version and our web page.
#pragma once

#include <QDialog>

class CDlgAbout : public QDialog
{
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);
};

// Our pages that the help menu opens; fixed texts of ours, never taken from elsewhere.
inline constexpr const char* kHomePage = "http://www.ombrix.example/";
inline constexpr const char* kFacebookPage = "https://www.facebook.com/ombrix.example";
inline constexpr const char* kTwitterPage = "https://twitter.com/ombrix_example";
