#pragma once

#include <functional>
#include <optional>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QWidget;

// What a check for a newer version found.
struct UpdateCheckResult
{
    enum class Outcome
    {
        NewVersion, // the server publishes a later version than the running one
        Latest,     // the published version is the running one or an earlier one
        Failed,     // the download or the reply was unusable; m_strReason says why
        NoServer,   // this build has no home page, so nothing was asked
    };

    Outcome m_outcome = Outcome::Failed;
    QString m_strVersion;  // the published version, as published
    QString m_strReleased; // the published release text, as published
    QString m_strReason;   // why the check failed
};

// The version and release text a reply publishes, each empty when its tags are missing.
struct PublishedVersion
{
    QString m_strVersion;
    QString m_strReleased;
};

// Asks the update server (the update page under the home page) which version it publishes and compares it
// with the running one. The download runs on the event loop, never in a nested one, so the window stays
// responsive; a check under way refuses a second start.
class CXUpdateCheck : public QObject
{
    Q_OBJECT

public:
    explicit CXUpdateCheck(QObject* parent = nullptr);
    ~CXUpdateCheck() override;

    // Starts a check of the configured update page; finished() follows. Without a home page finished()
    // reports NoServer at once. False (and nothing happens) while a check runs.
    bool Start();
    // The same with a given address.
    bool Start(const QUrl& url);
    bool IsRunning() const { return m_pReply != nullptr; }

    // The running program's version (the build's by default); tests compare against others.
    QString RunningVersion() const { return m_strRunningVersion; }
    void SetRunningVersion(const QString& version) { m_strRunningVersion = version; }
    // How long the server may take to start answering, and the whole download (tests shorten them).
    void SetTimeouts(int connectMs, int overallMs);

    // The text between the first <VERSION> and the next </VERSION>, the same for <LASTUPDATED>, after the
    // reply is trimmed of white space.
    static PublishedVersion ParseReply(const QString& reply);
    // Compares dotted version numbers number by number, missing numbers counting as 0 ("1.2" equals
    // "1.2.0.0"): negative, 0 or positive. Nothing when either is not a dotted list of numbers.
    static std::optional<int> CompareVersions(const QString& a, const QString& b);
    // What a complete reply means for the running version.
    static UpdateCheckResult Evaluate(const QString& reply, const QString& runningVersion);

Q_SIGNALS:
    void finished(const UpdateCheckResult& result);

private:
    void OnFinished();
    void Fail(const QString& reason);

    QNetworkAccessManager* m_pManager = nullptr;
    QNetworkReply* m_pReply = nullptr; // the download under way
    QTimer* m_pConnectTimer = nullptr;
    QTimer* m_pOverallTimer = nullptr;
    QByteArray m_reply;
    QString m_strAbortReason;
    QString m_strRunningVersion;
};

// How the outcome of a check is shown. The defaults show a message box owned by the parent and open pages
// in the default browser; tests answer here instead.
struct UpdateCheckPrompts
{
    // Shows a box and returns the button chosen.
    std::function<QMessageBox::StandardButton(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                              const QString& text, QMessageBox::StandardButtons buttons)>
        m_ask;
    // Opens a web page.
    std::function<bool(const QUrl& url)> m_openUrl;
};

// Tells the user what the check found; for a newer version it offers the products page and opens it on Yes.
void ShowUpdateCheckResult(QWidget* parent, const UpdateCheckResult& result, const UpdateCheckPrompts& prompts = {});
