#include "app/homepage.h"
#include "app/updatecheck.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(UpdateCheckResult)
Q_DECLARE_METATYPE(UpdateCheckResult::Outcome)

namespace {

using Outcome = UpdateCheckResult::Outcome;

// A web server on 127.0.0.1 that gives every request the same answer and keeps the request heads it got.
class CXTestServer : public QObject
{
public:
    enum class Kind
    {
        Answer, // status line, headers and the whole body, then the connection closes
        Silent, // accepts the connection and never sends a byte
        Stall,  // sends the headers and part of the body, then nothing more
        Cut,    // sends the headers and part of the body, then closes the connection
    };

    CXTestServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnRead(socket); });
        });
    }

    void Set(Kind kind, int status = 200, const QByteArray& body = {})
    {
        m_kind = kind;
        m_nStatus = status;
        m_body = body;
    }
    QUrl Url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    const QList<QByteArray>& Requests() const { return m_requests; }

private:
    void OnRead(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_requests.append(pending.left(end));
        pending.clear();
        if (m_kind == Kind::Silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_nStatus) + " " + Phrase(m_nStatus) + "\r\n";
        head += "Content-Type: text/plain\r\nConnection: close\r\n";
        const qsizetype missing = m_kind == Kind::Answer ? 0 : 100;
        head += "Content-Length: " + QByteArray::number(m_body.size() + missing) + "\r\n\r\n";
        socket->write(head + m_body);
        if (m_kind != Kind::Stall)
            socket->disconnectFromHost();
    }
    static QByteArray Phrase(int status)
    {
        switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 415:
            return "Unsupported Media Type";
        case 416:
            return "Range Not Satisfiable";
        default:
            return "Internal Server Error";
        }
    }

    QTcpServer m_server;
    Kind m_kind = Kind::Answer;
    int m_nStatus = 200;
    QByteArray m_body;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QByteArray> m_requests;
};

// Runs one check to its end and returns what it reported.
UpdateCheckResult RunCheck(CXUpdateCheck& check, const QUrl& url)
{
    QSignalSpy spy(&check, &CXUpdateCheck::finished);
    if (!check.Start(url))
        return {Outcome::Failed, {}, {}, QStringLiteral("refused to start")};
    if (!spy.wait(10000))
        return {Outcome::Failed, {}, {}, QStringLiteral("no result")};
    return spy.at(0).at(0).value<UpdateCheckResult>();
}

const QByteArray kReply = "<VERSION>1.2.0.0</VERSION>\r\n<LASTUPDATED>March 3, 2026</LASTUPDATED>";

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void homePage_data();
    void homePage();
    void compareVersions_data();
    void compareVersions();
    void check_data();
    void check();
    void requestsTheUpdatePageUnderTheHomePage();
    void noHomePageAsksNothing();
    void timeouts_data();
    void timeouts();
    void replyCutShort();
    void noServerListening();
    void secondStartRefusedWhileRunning();
    void destroyedWhileRunning();
    void boxes_data();
    void boxes();
    void defaultBoxAnswered();
};

void TestUpdateCheck::initTestCase()
{
    qRegisterMetaType<UpdateCheckResult>();
    // The local server is reached directly, whatever proxy the machine running the tests has.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
}

void TestUpdateCheck::cleanup()
{
    qunsetenv("ZELVANO_HOME_URL");
}

void TestUpdateCheck::homePage_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("expected");

    const QString update = kHomeUpdateCheckPage;
    QTest::newRow("none") << QString() << QString(kHomeProductsPage) << QString();
    QTest::newRow("server root") << "http://example.org" << QString(kHomeProductsPage)
                                 << "http://example.org/Products.php";
    QTest::newRow("folder without slash")
        << "http://example.org/zelvano" << QString(kHomeSupportPage) << "http://example.org/zelvano/Support/Index.php";
    QTest::newRow("folder with slash") << "https://example.org/zelvano/" << update
                                       << "https://example.org/zelvano/_checkUpdates.php?Id=Zelvano";
    QTest::newRow("query of the home page dropped")
        << "http://example.org/z/?from=app" << QString(kHomeForumsPage) << "http://example.org/z/Forums/Index.php";
    QTest::newRow("white space around") << "  http://example.org:8080/ \n"
                                        << QString(kHomeIndexPage) << "http://example.org:8080/Index.php";
    QTest::newRow("not a web address") << "ftp://example.org/" << QString(kHomeIndexPage) << QString();
    QTest::newRow("no host") << "http:///zelvano" << QString(kHomeIndexPage) << QString();
    QTest::newRow("garbage") << "not an address" << QString(kHomeIndexPage) << QString();
}

void TestUpdateCheck::homePage()
{
    QFETCH(QString, home);
    QFETCH(QString, page);
    QFETCH(QString, expected);

    qputenv("ZELVANO_HOME_URL", home.toUtf8());
    QCOMPARE(HomePageFile(page).toString(), expected);
    QCOMPARE(HomePage().isEmpty(), expected.isEmpty());
}

void TestUpdateCheck::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected"); // 2: not comparable

    QTest::newRow("equal") << "1.2.0.0"
                           << "1.2.0.0" << 0;
    QTest::newRow("missing numbers are 0") << "1.2"
                                           << "1.2.0.0" << 0;
    QTest::newRow("last number") << "1.2.0.1"
                                 << "1.2.0.0" << 1;
    QTest::newRow("first number decides") << "1.1.0.0"
                                          << "1.2.0.0" << -1;
    QTest::newRow("numbers, not text") << "1.10.0.0"
                                       << "1.9.0.0" << 1;
    QTest::newRow("longer but lower") << "1.99.99.99"
                                      << "2" << -1;
    QTest::newRow("leading zeros") << "1.02"
                                   << "1.2" << 0;
    QTest::newRow("white space around") << " 1.3.0.0\n"
                                        << "1.3" << 0;
    QTest::newRow("letters") << "2.0 beta"
                             << "1.2" << 2;
    QTest::newRow("empty part") << "1..2"
                                << "1.2" << 2;
    QTest::newRow("sign") << "1.+2"
                          << "1.2" << 2;
    QTest::newRow("empty") << ""
                           << "1.2" << 2;
    QTest::newRow("running unreadable") << "1.2"
                                        << "x" << 2;
}

void TestUpdateCheck::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);

    const std::optional<int> order = CXUpdateCheck::CompareVersions(a, b);
    QCOMPARE(order.has_value(), expected != 2);
    if (order)
        QCOMPARE(*order, expected);
    const std::optional<int> reverse = CXUpdateCheck::CompareVersions(b, a);
    if (order)
        QCOMPARE(*reverse, -expected);
}

void TestUpdateCheck::check_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("running");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("released");
    QTest::addColumn<QString>("reason"); // a part of the reason

    QTest::newRow("same version") << 200 << kReply << "1.2.0.0" << Outcome::Latest << "1.2.0.0"
                                  << "March 3, 2026" << QString();
    QTest::newRow("running older") << 200 << kReply << "1.1.0.0" << Outcome::NewVersion << "1.2.0.0"
                                   << "March 3, 2026" << QString();
    QTest::newRow("running newer is no new version") << 200 << kReply << "1.3.0.0" << Outcome::Latest << "1.2.0.0"
                                                     << "March 3, 2026" << QString();
    QTest::newRow("three numbers running") << 200 << kReply << "1.2.0" << Outcome::Latest << "1.2.0.0"
                                           << "March 3, 2026" << QString();
    QTest::newRow("numbers, not text") << 200 << QByteArray("<VERSION>1.10.0.0</VERSION>") << "1.9.0.0"
                                       << Outcome::NewVersion << "1.10.0.0" << QString() << QString();
    QTest::newRow("white space around the reply")
        << 200 << QByteArray(" \r\n\t<VERSION>1.3.0.0</VERSION><LASTUPDATED> 1 May 2026 </LASTUPDATED>\n\n ")
        << "1.2.0.0" << Outcome::NewVersion << "1.3.0.0"
        << " 1 May 2026 " << QString();
    QTest::newRow("first tags count") << 200
                                      << QByteArray("</VERSION><VERSION>2.0</VERSION><VERSION>3.0</VERSION>"
                                                    "<LASTUPDATED>a</LASTUPDATED><LASTUPDATED>b</LASTUPDATED>")
                                      << "1.2.0.0" << Outcome::NewVersion << "2.0"
                                      << "a" << QString();
    QTest::newRow("version not closed") << 200 << QByteArray("<VERSION>1.3.0.0 <LASTUPDATED>May 2026</LASTUPDATED>")
                                        << "1.2.0.0" << Outcome::Failed << QString() << "May 2026"
                                        << "names no version";
    QTest::newRow("no tags") << 200 << QByteArray("<html>maintenance</html>") << "1.2.0.0" << Outcome::Failed
                             << QString() << QString() << "names no version";
    QTest::newRow("empty reply") << 200 << QByteArray() << "1.2.0.0" << Outcome::Failed << QString() << QString()
                                 << "names no version";
    QTest::newRow("bare running version")
        << 200 << QByteArray("  1.2.0.0\r\n") << "1.2.0.0" << Outcome::Latest << "1.2.0.0" << QString() << QString();
    QTest::newRow("bare other version") << 200 << QByteArray("1.3.0.0") << "1.2.0.0" << Outcome::Failed << QString()
                                        << QString() << "names no version";
    QTest::newRow("unreadable version") << 200 << QByteArray("<VERSION>2.0 beta</VERSION>") << "1.2.0.0"
                                        << Outcome::Failed << "2.0 beta" << QString() << "\"2.0 beta\"";
    QTest::newRow("not found") << 404 << kReply << "1.1.0.0" << Outcome::Failed << QString() << QString()
                               << "HTTP 404 (Not Found)";
    QTest::newRow("415 fails") << 415 << kReply << "1.1.0.0" << Outcome::Failed << QString() << QString() << "HTTP 415";
    QTest::newRow("416 is an answer") << 416 << kReply << "1.1.0.0" << Outcome::NewVersion << "1.2.0.0"
                                      << "March 3, 2026" << QString();
    QTest::newRow("500 is an answer") << 500 << kReply << "1.2.0.0" << Outcome::Latest << "1.2.0.0"
                                      << "March 3, 2026" << QString();
    QTest::newRow("large reply read whole")
        << 200 << QByteArray(200000, ' ') + "<VERSION>9.0</VERSION>" + QByteArray(200000, 'x') << "1.2.0.0"
        << Outcome::NewVersion << "9.0" << QString() << QString();
    QTest::newRow("too large") << 200 << QByteArray(2 * 1024 * 1024, 'x') << "1.2.0.0" << Outcome::Failed << QString()
                               << QString() << "larger than";
}

void TestUpdateCheck::check()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, running);
    QFETCH(Outcome, outcome);
    QFETCH(QString, version);
    QFETCH(QString, released);
    QFETCH(QString, reason);

    CXTestServer server;
    server.Set(CXTestServer::Kind::Answer, status, body);
    CXUpdateCheck check;
    check.SetRunningVersion(running);
    const UpdateCheckResult result = RunCheck(check, server.Url(QStringLiteral("/_checkUpdates.php?Id=Zelvano")));
    QCOMPARE(result.m_outcome, outcome);
    if (outcome != Outcome::Failed || !version.isEmpty() || !released.isEmpty()) {
        QCOMPARE(result.m_strVersion, version);
        QCOMPARE(result.m_strReleased, released);
    }
    if (reason.isEmpty())
        QVERIFY2(result.m_strReason.isEmpty(), qPrintable(result.m_strReason));
    else
        QVERIFY2(result.m_strReason.contains(reason), qPrintable(result.m_strReason));
    QVERIFY(!check.IsRunning());
}

void TestUpdateCheck::requestsTheUpdatePageUnderTheHomePage()
{
    CXTestServer server;
    server.Set(CXTestServer::Kind::Answer, 200, kReply);
    qputenv("ZELVANO_HOME_URL", server.Url(QStringLiteral("/site")).toString().toUtf8());
    CXUpdateCheck check;
    QCOMPARE(check.RunningVersion(), QStringLiteral(ZELVANO_VERSION));
    check.SetRunningVersion(QStringLiteral("1.2.0.0"));
    QSignalSpy spy(&check, &CXUpdateCheck::finished);
    QVERIFY(check.Start());
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.at(0).at(0).value<UpdateCheckResult>().m_outcome, Outcome::Latest);

    // Twice, each from the server: nothing is answered from a cache.
    QVERIFY(check.Start());
    QVERIFY(spy.wait(10000));
    QCOMPARE(server.Requests().size(), 2);
    for (const QByteArray& request : server.Requests()) {
        QVERIFY2(request.startsWith("GET /site/_checkUpdates.php?Id=Zelvano HTTP/1.1\r\n"), request.constData());
        QVERIFY2(request.toLower().contains("\r\ncache-control: no-cache"), request.constData());
        QVERIFY2(request.toLower().contains("\r\nuser-agent: zelvano/"), request.constData());
    }
}

void TestUpdateCheck::noHomePageAsksNothing()
{
    qputenv("ZELVANO_HOME_URL", QByteArray());
    CXUpdateCheck check;
    QSignalSpy spy(&check, &CXUpdateCheck::finished);
    QVERIFY(check.Start());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<UpdateCheckResult>().m_outcome, Outcome::NoServer);
    QVERIFY(!check.IsRunning());
}

void TestUpdateCheck::timeouts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("never answers") << int(CXTestServer::Kind::Silent) << "the server did not answer within 0.3 seconds";
    QTest::newRow("stops in the middle") << int(CXTestServer::Kind::Stall)
                                         << "the download took longer than 1.5 seconds";
}

void TestUpdateCheck::timeouts()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);

    CXTestServer server;
    server.Set(static_cast<CXTestServer::Kind>(kind), 200, kReply);
    CXUpdateCheck check;
    check.SetTimeouts(300, 1500);
    const UpdateCheckResult result = RunCheck(check, server.Url(QStringLiteral("/_checkUpdates.php")));
    QCOMPARE(result.m_outcome, Outcome::Failed);
    QCOMPARE(result.m_strReason, reason);
    QCOMPARE(server.Requests().size(), 1);
}

void TestUpdateCheck::replyCutShort()
{
    CXTestServer server;
    server.Set(CXTestServer::Kind::Cut, 200, kReply);
    CXUpdateCheck check;
    check.SetRunningVersion(QStringLiteral("1.1.0.0"));
    const UpdateCheckResult result = RunCheck(check, server.Url(QStringLiteral("/_checkUpdates.php")));
    QCOMPARE(result.m_outcome, Outcome::Failed);
    QVERIFY(!result.m_strReason.isEmpty());
}

void TestUpdateCheck::noServerListening()
{
    QUrl url;
    {
        CXTestServer closed;
        url = closed.Url(QStringLiteral("/_checkUpdates.php"));
    }
    CXUpdateCheck check;
    const UpdateCheckResult result = RunCheck(check, url);
    QCOMPARE(result.m_outcome, Outcome::Failed);
    QVERIFY(!result.m_strReason.isEmpty());
    QVERIFY(result.m_strVersion.isEmpty());
}

void TestUpdateCheck::secondStartRefusedWhileRunning()
{
    CXTestServer server;
    server.Set(CXTestServer::Kind::Silent);
    qputenv("ZELVANO_HOME_URL", server.Url(QStringLiteral("/")).toString().toUtf8());
    CXUpdateCheck check;
    check.SetTimeouts(300, 1500);
    QSignalSpy spy(&check, &CXUpdateCheck::finished);
    QVERIFY(check.Start());
    QVERIFY(check.IsRunning());
    QVERIFY(!check.Start());
    QVERIFY(!check.Start(server.Url(QStringLiteral("/other"))));
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.size(), 1);
    QVERIFY(!check.IsRunning());

    // Once over, a check starts again.
    server.Set(CXTestServer::Kind::Answer, 200, kReply);
    QVERIFY(check.Start());
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.size(), 2);
    QCOMPARE(server.Requests().size(), 2);
}

void TestUpdateCheck::destroyedWhileRunning()
{
    CXTestServer server;
    server.Set(CXTestServer::Kind::Silent);
    auto* check = new CXUpdateCheck;
    QSignalSpy spy(check, &CXUpdateCheck::finished);
    QVERIFY(check->Start(server.Url(QStringLiteral("/_checkUpdates.php"))));
    QTRY_COMPARE(server.Requests().size(), 1);
    delete check;
    QCoreApplication::processEvents();
    QCOMPARE(spy.size(), 0);
}

void TestUpdateCheck::boxes_data()
{
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("opened");

    const int ok = QMessageBox::Ok;
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    const QString newText = QStringLiteral("A new version of Zelvano is available (Version: 1.3.0.0, Released: May "
                                           "2026).\nWould you like to download the latest version?");
    QTest::newRow("latest") << Outcome::Latest << QMessageBox::Ok << int(QMessageBox::Information)
                            << "You have the latest version of Zelvano! (Version: 1.3.0.0, Released: May 2026)" << ok
                            << QString();
    QTest::newRow("new version, Yes") << Outcome::NewVersion << QMessageBox::Yes << int(QMessageBox::Information)
                                      << newText << yesNo << "http://example.org/zelvano/Products.php";
    QTest::newRow("new version, No") << Outcome::NewVersion << QMessageBox::No << int(QMessageBox::Information)
                                     << newText << yesNo << QString();
    QTest::newRow("failed") << Outcome::Failed << QMessageBox::Ok << int(QMessageBox::Warning)
                            << "Could not check for updates: the server answered HTTP 404 (Not Found)" << ok
                            << QString();
    QTest::newRow("no server") << Outcome::NoServer << QMessageBox::Ok << int(QMessageBox::Information)
                               << "This build of Zelvano has no update server." << ok << QString();
}

void TestUpdateCheck::boxes()
{
    QFETCH(Outcome, outcome);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, icon);
    QFETCH(QString, text);
    QFETCH(int, buttons);
    QFETCH(QString, opened);

    qputenv("ZELVANO_HOME_URL", "http://example.org/zelvano");
    UpdateCheckResult result;
    result.m_outcome = outcome;
    if (outcome == Outcome::Failed) {
        result.m_strReason = QStringLiteral("the server answered HTTP 404 (Not Found)");
    } else if (outcome != Outcome::NoServer) {
        result.m_strVersion = QStringLiteral("1.3.0.0");
        result.m_strReleased = QStringLiteral("May 2026");
    }

    QWidget parent;
    QStringList asked;
    QList<QUrl> urls;
    UpdateCheckPrompts prompts;
    prompts.m_ask = [&](QWidget* owner, QMessageBox::Icon shownIcon, const QString& caption, const QString& shown,
                        QMessageBox::StandardButtons shownButtons) {
        asked.append(shown);
        [&] {
            QCOMPARE(owner, &parent);
            QCOMPARE(int(shownIcon), icon);
            QCOMPARE(caption, QStringLiteral("Check for Updates - Zelvano"));
            QCOMPARE(int(shownButtons), buttons);
        }();
        return answer;
    };
    prompts.m_openUrl = [&](const QUrl& url) {
        urls.append(url);
        return true;
    };
    ShowUpdateCheckResult(&parent, result, prompts);
    QCOMPARE(asked, QStringList{text});
    QCOMPARE(urls.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(urls.at(0).toString(), opened);
}

void TestUpdateCheck::defaultBoxAnswered()
{
    qputenv("ZELVANO_HOME_URL", "http://example.org/");
    UpdateCheckResult result{Outcome::NewVersion, QStringLiteral("2.0"), QStringLiteral("today"), {}};
    QWidget parent;
    QString shownText;
    QWidget* shownParent = nullptr;
    QTimer::singleShot(0, &parent, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shownText = box->text();
        shownParent = box->parentWidget();
        box->button(QMessageBox::Yes)->click();
    });
    QList<QUrl> urls;
    UpdateCheckPrompts prompts;
    prompts.m_openUrl = [&](const QUrl& url) {
        urls.append(url);
        return true;
    };
    ShowUpdateCheckResult(&parent, result, prompts);
    QVERIFY(
        shownText.startsWith(QStringLiteral("A new version of Zelvano is available (Version: 2.0, Released: today)")));
    QCOMPARE(shownParent, &parent);
    QCOMPARE(urls, QList<QUrl>{QUrl(QStringLiteral("http://example.org/Products.php"))});
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
