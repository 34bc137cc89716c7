#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QUrl>

// The notice of the program's rights; one text, so the About box and anything else that shows it agree.
inline constexpr char kLicenceNotice[] =
    QT_TRANSLATE_NOOP("CXAboutBox", "Copyright \u00a9 2026 the Zelvano developers. All rights reserved.");

// The About box: the program's icon, name, version and purpose, the notice of rights, the libraries it is
// built on with their run-time versions, and a link to the home page when this build has one.
class CXAboutBox : public QDialog
{
    Q_OBJECT

public:
    // Links to the product's home page as this build and its environment configure it.
    explicit CXAboutBox(QWidget* parent = nullptr);
    // homePage: the page to link to; empty shows no link.
    CXAboutBox(const QUrl& homePage, QWidget* parent);

    // One line per library: its name and the version it reports at run time.
    static QString LibrariesText();
};
