#include "app/updatecheck.h"

#include "app/homepage.h"

#include <algorithm>
#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

const QString kProductName = QStringLiteral("Zelvano");
constexpr int kDefaultConnectMs = 5000;
constexpr int kDefaultOverallMs = 30000;
// The reply is a few lines of text; anything far larger is not an update page.
constexpr qint64 kMaxReplyBytes = qint64(1024) * 1024;

// The proxy the desktop is set up with, for this manager only (the application's default stays untouched).
class CXSystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return QNetworkProxyFactory::systemProxyForQuery(query);
    }
};

// The text between the first open tag and the next close tag; empty when either is missing.
QString Between(const QString& text, QLatin1String open, QLatin1String close)
{
    const qsizetype start = text.indexOf(open);
    if (start < 0)
        return {};
    const qsizetype end = text.indexOf(close, start);
    if (end < 0)
        return {};
    return text.mid(start + open.size(), end - start - open.size());
}

QString Seconds(int ms)
{
    return QString::number(ms / 1000.0);
}

QString Caption()
{
    return CXUpdateCheck::tr("Check for Updates - %1").arg(kProductName);
}

} // namespace

CXUpdateCheck::CXUpdateCheck(QObject* parent)
    : QObject(parent), m_pManager(new QNetworkAccessManager(this)), m_pConnectTimer(new QTimer(this)),
      m_pOverallTimer(new QTimer(this)), m_strRunningVersion(QStringLiteral(ZELVANO_VERSION))
{
    m_pManager->setProxyFactory(new CXSystemProxyFactory);
    m_pConnectTimer->setSingleShot(true);
    m_pConnectTimer->setInterval(kDefaultConnectMs);
    m_pOverallTimer->setSingleShot(true);
    m_pOverallTimer->setInterval(kDefaultOverallMs);
    connect(m_pConnectTimer, &QTimer::timeout, this, [this] {
        Fail(tr("the server did not answer within %1 seconds").arg(Seconds(m_pConnectTimer->interval())));
    });
    connect(m_pOverallTimer, &QTimer::timeout, this,
            [this] { Fail(tr("the download took longer than %1 seconds").arg(Seconds(m_pOverallTimer->interval()))); });
}

CXUpdateCheck::~CXUpdateCheck()
{
    if (m_pReply) {
        // No result for a check nobody waits for any more.
        m_pReply->disconnect(this);
        m_pReply->abort();
        delete m_pReply;
    }
}

void CXUpdateCheck::SetTimeouts(int connectMs, int overallMs)
{
    m_pConnectTimer->setInterval(connectMs);
    m_pOverallTimer->setInterval(overallMs);
}

bool CXUpdateCheck::Start()
{
    if (IsRunning())
        return false;
    const QUrl url = HomePageFile(kHomeUpdateCheckPage);
    if (url.isEmpty()) {
        UpdateCheckResult result;
        result.m_outcome = UpdateCheckResult::Outcome::NoServer;
        Q_EMIT finished(result);
        return true;
    }
    return Start(url);
}

bool CXUpdateCheck::Start(const QUrl& url)
{
    if (IsRunning())
        return false;
    QNetworkRequest request(url);
    // The product and its version, and where it comes from, so the server's logs tell its callers apart.
    QString agent = kProductName + QLatin1Char('/') + QStringLiteral(ZELVANO_VERSION);
    if (const QUrl home = HomePage(); !home.isEmpty())
        agent += QStringLiteral(" (+%1)").arg(home.toString());
    request.setHeader(QNetworkRequest::UserAgentHeader, agent);
    // Always the server's current answer: nothing is taken from or put into a cache on the way.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");

    m_reply.clear();
    m_strAbortReason.clear();
    m_pReply = m_pManager->get(request);
    // The connect time-out ends once the server has begun to answer; the overall bound stays.
    connect(m_pReply, &QNetworkReply::metaDataChanged, m_pConnectTimer, &QTimer::stop);
    connect(m_pReply, &QNetworkReply::readyRead, this, [this] {
        m_pConnectTimer->stop();
        m_reply += m_pReply->readAll();
        if (m_reply.size() > kMaxReplyBytes)
            Fail(tr("the reply is larger than %1 bytes").arg(kMaxReplyBytes));
    });
    connect(m_pReply, &QNetworkReply::finished, this, &CXUpdateCheck::OnFinished);
    m_pConnectTimer->start();
    m_pOverallTimer->start();
    return true;
}

void CXUpdateCheck::Fail(const QString& reason)
{
    if (!m_pReply || !m_strAbortReason.isEmpty())
        return;
    m_strAbortReason = reason;
    m_pReply->abort(); // finished() follows, which reports the reason
}

void CXUpdateCheck::OnFinished()
{
    QNetworkReply* reply = m_pReply;
    m_pConnectTimer->stop();
    m_pOverallTimer->stop();
    m_pReply = nullptr;
    reply->deleteLater();

    UpdateCheckResult result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!m_strAbortReason.isEmpty()) {
        result.m_strReason = m_strAbortReason;
    } else if (status.isValid() && status.toInt() >= 400 && status.toInt() <= 415) {
        const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        result.m_strReason = phrase.isEmpty() ? tr("the server answered HTTP %1").arg(status.toInt())
                                              : tr("the server answered HTTP %1 (%2)").arg(status.toInt()).arg(phrase);
    } else if ((!status.isValid() && reply->error() != QNetworkReply::NoError) ||
               (reply->error() > QNetworkReply::NoError &&
                reply->error() < QNetworkReply::ProxyConnectionRefusedError)) {
        // No answer (no connection, no such host) or one cut short; any other status is read as an answer.
        result.m_strReason = reply->errorString();
    } else {
        m_reply += reply->readAll();
        result = Evaluate(QString::fromUtf8(m_reply), m_strRunningVersion);
    }
    m_reply.clear();
    Q_EMIT finished(result);
}

PublishedVersion CXUpdateCheck::ParseReply(const QString& reply)
{
    const QString text = reply.trimmed();
    return {Between(text, QLatin1String("<VERSION>"), QLatin1String("</VERSION>")),
            Between(text, QLatin1String("<LASTUPDATED>"), QLatin1String("</LASTUPDATED>"))};
}

std::optional<int> CXUpdateCheck::CompareVersions(const QString& a, const QString& b)
{
    const auto numbers = [](const QString& text) -> std::optional<QList<qulonglong>> {
        QList<qulonglong> list;
        for (const QString& part : text.trimmed().split(QLatin1Char('.'))) {
            bool ok = false;
            const qulonglong n = part.toULongLong(&ok);
            // toULongLong takes signs and spaces; a version number is digits only.
            if (!ok || part.isEmpty() || !std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit(); }))
                return std::nullopt;
            list.append(n);
        }
        return list;
    };
    const auto left = numbers(a);
    const auto right = numbers(b);
    if (!left || !right)
        return std::nullopt;
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const qulonglong l = i < left->size() ? left->at(i) : 0;
        const qulonglong r = i < right->size() ? right->at(i) : 0;
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

UpdateCheckResult CXUpdateCheck::Evaluate(const QString& reply, const QString& runningVersion)
{
    UpdateCheckResult result;
    const PublishedVersion published = ParseReply(reply);
    result.m_strVersion = published.m_strVersion;
    result.m_strReleased = published.m_strReleased;
    if (published.m_strVersion.isEmpty()) {
        // A server may answer with the bare version text alone when nothing newer exists.
        if (!runningVersion.isEmpty() && reply.trimmed() == runningVersion) {
            result.m_outcome = UpdateCheckResult::Outcome::Latest;
            result.m_strVersion = runningVersion;
        } else {
            result.m_strReason = tr("the server's reply names no version");
        }
        return result;
    }
    const std::optional<int> order = CompareVersions(published.m_strVersion, runningVersion);
    if (!order) {
        result.m_strReason = tr("the published version \"%1\" is not a version number").arg(published.m_strVersion);
        return result;
    }
    // An earlier published version is no new version for this program.
    result.m_outcome = *order > 0 ? UpdateCheckResult::Outcome::NewVersion : UpdateCheckResult::Outcome::Latest;
    return result;
}

void ShowUpdateCheckResult(QWidget* parent, const UpdateCheckResult& result, const UpdateCheckPrompts& prompts)
{
    const auto ask = [&](QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButtons buttons) {
        if (prompts.m_ask)
            return prompts.m_ask(parent, icon, Caption(), text, buttons);
        QMessageBox box(icon, Caption(), text, buttons, parent);
        box.setObjectName(QStringLiteral("updateCheckBox"));
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };
    using Outcome = UpdateCheckResult::Outcome;
    switch (result.m_outcome) {
    case Outcome::Latest:
        ask(QMessageBox::Information,
            CXUpdateCheck::tr("You have the latest version of %1! (Version: %2, Released: %3)")
                .arg(kProductName, result.m_strVersion, result.m_strReleased),
            QMessageBox::Ok);
        break;
    case Outcome::NewVersion:
        if (ask(QMessageBox::Information,
                CXUpdateCheck::tr("A new version of %1 is available (Version: %2, Released: %3).\n"
                                  "Would you like to download the latest version?")
                    .arg(kProductName, result.m_strVersion, result.m_strReleased),
                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
            const QUrl products = HomePageFile(kHomeProductsPage);
            if (!products.isEmpty()) {
                if (prompts.m_openUrl)
                    prompts.m_openUrl(products);
                else
                    QDesktopServices::openUrl(products);
            }
        }
        break;
    case Outcome::Failed:
        ask(QMessageBox::Warning, CXUpdateCheck::tr("Could not check for updates: %1").arg(result.m_strReason),
            QMessageBox::Ok);
        break;
    case Outcome::NoServer:
        ask(QMessageBox::Information, CXUpdateCheck::tr("This build of %1 has no update server.").arg(kProductName),
            QMessageBox::Ok);
        break;
    }
}
