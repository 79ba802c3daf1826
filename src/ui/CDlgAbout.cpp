#include "ui/CDlgAbout.h"

#include "ui/controls/CHyperLink.h"
#include "update/CVersionChecker.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

CDlgAbout::CDlgAbout(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Ombrix"));
    auto* name = new QLabel(QStringLiteral("Ombrix Version %1")
                                .arg(QString::fromLatin1(CVersionChecker::kCurrentVersion)),
                            this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* what = new QLabel(QStringLiteral("Network traffic accounting monitor"), this);
    auto* link = new CHyperLink(QString::fromLatin1(kOmbrixHomePage),
                                QUrl(QString::fromLatin1(kOmbrixHomePage)), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(what);
    layout->addWidget(link);
    layout->addWidget(buttons);
}
