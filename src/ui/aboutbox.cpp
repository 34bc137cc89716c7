#include "ui/aboutbox.h"

#include "app/homepage.h"
#include "archive/rar.h"
#include "unpack/imagecheck.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QtGlobal>
#include <QVBoxLayout>
#include <zlib.h>

// The pages and icons live in the GUI library's resources, which a static link does not register by itself.
static void InitResources()
{
    Q_INIT_RESOURCE(zelvano);
}

namespace {

constexpr int kIconSize = 64;

QLabel* AddLabel(const char* objectName, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

CXAboutBox::CXAboutBox(QWidget* parent) : CXAboutBox(HomePage(), parent) {}

CXAboutBox::CXAboutBox(const QUrl& homePage, QWidget* parent) : QDialog(parent)
{
    InitResources();
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(tr("About Zelvano"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("aboutIcon"));
    icon->setPixmap(QIcon(QStringLiteral(":/icons/zelvano.svg")).pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    QLabel* name = AddLabel("aboutName", tr("Zelvano"), this);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    name->setFont(nameFont);
    QLabel* version = AddLabel("aboutVersion", tr("Version %1").arg(QStringLiteral(ZELVANO_VERSION)), this);
    QLabel* description = AddLabel("aboutDescription", tr("Finds photo archives and unpacks their pictures"), this);
    QLabel* licence = AddLabel("aboutLicence", tr(kLicenceNotice), this);
    QLabel* librariesTitle = AddLabel("aboutLibrariesTitle", tr("Built with:"), this);
    QLabel* libraries = AddLabel("aboutLibraries", LibrariesText(), this);
    QLabel* unrarNotice =
        AddLabel("aboutUnrarNotice",
                 tr("The UnRAR library may be used to extract RAR archives, not to re-create the RAR compression "
                    "algorithm, which is proprietary."),
                 this);

    auto* text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(description);
    text->addSpacing(8);
    text->addWidget(licence);
    text->addSpacing(8);
    text->addWidget(librariesTitle);
    text->addWidget(libraries);
    text->addWidget(unrarNotice);
    if (!homePage.isEmpty()) {
        const QString address = homePage.toString();
        QLabel* link = AddLabel("aboutHomeLink",
                                tr("Home page: %1")
                                    .arg(QStringLiteral("<a href=\"%1\">%2</a>")
                                             .arg(address.toHtmlEscaped(), homePage.toDisplayString().toHtmlEscaped())),
                                this);
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setOpenExternalLinks(true);
        text->addSpacing(8);
        text->addWidget(link);
    }
    text->addStretch(1);

    auto* body = new QHBoxLayout;
    body->setSpacing(16);
    body->addWidget(icon, 0, Qt::AlignTop);
    body->addLayout(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->setObjectName(QStringLiteral("aboutButtons"));
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("aboutOkButton"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

QString CXAboutBox::LibrariesText()
{
    // The UnRAR library tells only the version of its programming interface, not its release.
    return tr("Qt %1\nzlib %2\n%3\nUnRAR library (interface version %4)")
        .arg(QString::fromLatin1(qVersion()), QString::fromLatin1(zlibVersion()), JpegLibraryName(),
             QString::number(RarLibraryVersion()));
}
