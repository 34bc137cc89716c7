#include "common/passwordstore.h"
#include "common/runcontrol.h"
#include "scan/archivelist.h"
#include "scan/nottaken.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "support/encryptedarchive.h"
#include "support/testenv.h"
#include "support/volumeset.h"
#include "unpack/unpackrun.h"
#include "unpack/validation.h"

#include "extractfixture.h"

#include <QFileInfo>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using zelvano::test::RarEncryption;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList L(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* text : texts)
        out << S(text);
    return out;
}

PasswordAnswer Typed(const char* password)
{
    PasswordAnswer answer;
    answer.m_kind = PasswordAnswer::Password;
    answer.m_strPassword = S(password);
    return answer;
}

PasswordAnswer Skip(PasswordAnswer::Kind kind)
{
    PasswordAnswer answer;
    answer.m_kind = kind;
    return answer;
}

// Answers the password question from a list (SkipArchive when it runs out) and notes who was asked.
class AnsweringHost : public zelvano::test::RecordingHost
{
public:
    PasswordAnswer AskPassword(const QString& archiveName) override
    {
        const int now = ++m_nAsking;
        m_nMostAtOnce = std::max(m_nMostAtOnce.load(), now);
        if (m_bLinger) // widens the window in which a second question could overlap this one
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PasswordAnswer answer;
        {
            std::lock_guard lock(m_askMutex);
            m_asked << archiveName;
            if (!m_replies.isEmpty())
                answer = m_replies.takeFirst();
        }
        --m_nAsking;
        return answer;
    }

    QList<PasswordAnswer> m_replies;
    QStringList m_asked;
    bool m_bLinger = false;
    std::atomic<int> m_nAsking{0};
    std::atomic<int> m_nMostAtOnce{0};

private:
    std::mutex m_askMutex;
};

} // namespace

Q_DECLARE_METATYPE(QList<PasswordAnswer>)

class TestPasswords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void order_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("worked"); // NoteWorked in this order
        QTest::addColumn<QStringList>("candidates");

        QTest::newRow("as given") << L({"a", "b", "c"}) << QStringList() << L({"a", "b", "c"});
        QTest::newRow("last that worked first") << L({"a", "b", "c"}) << L({"c", "b"}) << L({"b", "a", "c"});
        QTest::newRow("empty and repeated ignored") << L({"a", "", "a", "b"}) << QStringList() << L({"a", "b"});
        QTest::newRow("a new working one is kept") << L({"a"}) << L({"typed"}) << L({"typed", "a"});
        QTest::newRow("spaces and case count") << L({" a", "a ", "A"}) << QStringList() << L({" a", "a ", "A"});
    }
    void order()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, worked);
        CXPasswordStore store(given);
        for (const QString& password : worked)
            store.NoteWorked(password);
        QTEST(store.Candidates(), "candidates");
    }

    void resolve_data()
    {
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<QList<PasswordAnswer>>("replies");
        QTest::addColumn<QString>("expected"); // empty: the archive stays closed
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("skipAll");

        using A = QList<PasswordAnswer>;
        QTest::newRow("known, no question") << L({"x", "pw"}) << A{} << S("pw") << 0 << false;
        QTest::newRow("typed after a wrong one") << L({"x"}) << A{Typed("bad"), Typed("pw")} << S("pw") << 2 << false;
        QTest::newRow("empty typed is asked again")
            << QStringList() << A{Typed(""), Typed("pw")} << S("pw") << 2 << false;
        QTest::newRow("wrong then skip archive")
            << QStringList() << A{Typed("bad"), Skip(PasswordAnswer::SkipArchive)} << S("") << 2 << false;
        QTest::newRow("skip all") << L({"x"}) << A{Skip(PasswordAnswer::SkipAll)} << S("") << 1 << true;
    }
    void resolve()
    {
        QFETCH(QStringList, known);
        QFETCH(QList<PasswordAnswer>, replies);
        QFETCH(QString, expected);
        QFETCH(int, questions);
        QFETCH(bool, skipAll);

        CXPasswordStore store(known);
        AnsweringHost host;
        host.m_replies = replies;
        QStringList tried;
        const auto test = [&tried](const QString& password) {
            tried << password;
            return password == QLatin1String("pw") ? CXPasswordStore::Test::Works : CXPasswordStore::Test::Wrong;
        };
        const std::optional<QString> found = store.Resolve(&host, QStringLiteral("a.rar"), test);
        QCOMPARE(found.value_or(QString()), expected);
        QCOMPARE(host.m_asked.size(), questions);
        QCOMPARE(store.IsSkipAll(), skipAll);
        QVERIFY(!tried.contains(QString())); // an empty password is never tried

        // The next archive with the same password: no question, the working one is tried first.
        tried.clear();
        host.m_replies.clear();
        const std::optional<QString> again = store.Resolve(&host, QStringLiteral("b.rar"), test);
        QCOMPARE(host.m_asked.size(), questions + (expected.isEmpty() && !skipAll ? 1 : 0));
        if (!expected.isEmpty()) {
            QCOMPARE(again.value_or(QString()), expected);
            QCOMPARE(tried, QStringList{expected});
        } else {
            QVERIFY(!again);
        }
        // Without a store there is never a password, nor a question.
        QVERIFY(!ResolveArchivePassword(nullptr, &host, QStringLiteral("c.rar"), test));
    }

    // Archives examined on several threads at once: one question at a time, and the password typed for
    // the first is tried on the others before anyone else is asked.
    void questionsNeverOverlap()
    {
        CXPasswordStore store;
        AnsweringHost host;
        host.m_bLinger = true;
        host.m_replies = {Typed("pw")};
        std::atomic<int> opened{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 6; ++i) {
            threads.emplace_back([&, i] {
                const auto found = store.Resolve(&host, QStringLiteral("%1.rar").arg(i), [](const QString& p) {
                    return p == QLatin1String("pw") ? CXPasswordStore::Test::Works : CXPasswordStore::Test::Wrong;
                });
                if (found)
                    ++opened;
            });
        }
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(opened.load(), 6);
        QCOMPARE(host.m_asked.size(), 1);
        QCOMPARE(host.m_nMostAtOnce.load(), 1);
    }

    // A whole run over real encrypted archives: scan and unpack with the run's store and host.
    void run_data()
    {
        QTest::addColumn<QString>("kind"); // zip, rar, rar-headers
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<QList<PasswordAnswer>>("replies");
        QTest::addColumn<bool>("unpacked"); // pictures written and the archive deleted
        QTest::addColumn<int>("questions");

        using A = QList<PasswordAnswer>;
        QTest::newRow("zip, known") << S("zip") << L({"x", "pw"}) << A{} << true << 0;
        QTest::newRow("zip, wrong known") << S("zip") << L({"x"}) << A{} << false << 1;
        QTest::newRow("rar, known") << S("rar") << L({"x", "pw"}) << A{} << true << 0;
        QTest::newRow("rar, typed") << S("rar") << QStringList() << A{Typed("bad"), Typed("pw")} << true << 2;
        QTest::newRow("rar, none") << S("rar") << QStringList() << A{} << false << 1;
        QTest::newRow("rar headers, known") << S("rar-headers") << L({"pw"}) << A{} << true << 0;
        QTest::newRow("rar headers, typed at the scan")
            << S("rar-headers") << QStringList() << A{Typed("pw")} << true << 1;
        QTest::newRow("rar headers, wrong") << S("rar-headers") << L({"x"}) << A{} << false << 1;
    }
    void run()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, known);
        QFETCH(QList<PasswordAnswer>, replies);
        QFETCH(bool, unpacked);
        QFETCH(int, questions);

        if (kind == QLatin1String("zip") ? !zelvano::test::HaveZipCommand() : !zelvano::test::HaveRarCommand())
            QSKIP("the archiver is not installed");
        zelvano::test::IsolatedHome home;
        QTemporaryDir dir;
        const QList<QPair<QString, QByteArray>> pictures = {{QStringLiteral("one.jpg"), zelvano::test::Jpeg()},
                                                            {QStringLiteral("two.jpg"), zelvano::test::Jpeg(80, 40)}};
        const bool zip = kind == QLatin1String("zip");
        const QString archive = dir.filePath(zip ? QStringLiteral("Trip.zip") : QStringLiteral("Trip.rar"));
        if (zip) {
            QVERIFY(zelvano::test::MakeEncryptedZip(archive, pictures, QStringLiteral("pw")));
        } else
            QVERIFY(zelvano::test::MakeEncryptedRar(archive, pictures, QStringLiteral("pw"),
                                                    kind == QLatin1String("rar") ? RarEncryption::Data
                                                                                 : RarEncryption::Headers));

        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = AfterDeletePermanently;
        settings.m_nWhenToDelete = DeleteAfterEach;
        settings.m_bConfirmDelete = 0;
        settings.m_nExtractTo = 1;
        CXPasswordStore store(known);
        AnsweringHost host;
        host.m_replies = replies;
        CXArchiveList list;
        list.m_pPasswords = &store;
        list.m_pHost = &host;
        QList<CXSelItem> selection = zelvano::test::ScanAndSelectAll(list, dir.path(), settings);

        if (kind == QLatin1String("rar-headers") && !unpacked) {
            // Names that cannot be read: invalid, with the reason, and never unpacked.
            QVERIFY(list.m_arrArchives.isEmpty());
            const QList<CXNotTaken> notTaken = ArchivesNotTaken(list);
            QCOMPARE(notTaken.size(), 1);
            QCOMPARE(notTaken.front().m_strReason, zelvano::reason::EncryptedNoPassword());
            QCOMPARE(host.m_asked.size(), questions);
            QVERIFY(QFileInfo::exists(archive));
            return;
        }
        QCOMPARE(list.m_arrArchives.size(), 1);
        QCOMPARE(list.m_arrArchives.front().m_nPhotoCount, 2);

        CXUnpackRun run(list, settings, host, DefaultUnpackOperations());
        QCOMPARE(run.Start(selection, dir.path()), UnpackStart::Started);
        run.Wait();
        QCOMPARE(host.m_asked, QStringList(questions, QFileInfo(archive).fileName()));

        const CXArchiveFile& done = list.m_arrArchives.front();
        if (unpacked) {
            for (const auto& [name, bytes] : pictures)
                QCOMPARE(zelvano::test::ReadFile(dir.filePath(name)), bytes);
            QCOMPARE(done.m_nExtracted, 2);
            QCOMPARE(done.m_nErrors, 0);
            QVERIFY(!QFileInfo::exists(archive));
            return;
        }
        QCOMPARE(done.m_nExtracted, 0);
        QVERIFY(QFileInfo::exists(archive)); // never deleted
        QCOMPARE(done.m_arrFailedItems.size(), 2);
        for (const CXArchiveItem& item : done.m_arrFailedItems)
            QCOMPARE(item.m_strReason, zelvano::reason::EncryptedNoPassword());
        for (const auto& [name, bytes] : pictures)
            QVERIFY(!QFileInfo::exists(dir.filePath(name)));
        QVERIFY(zelvano::test::TempFilesIn(dir.path()).isEmpty());
    }

    // Several encrypted archives in one run: Password, then Skip this archive, then Skip all, after which no
    // further archive asks.
    void answersAcrossArchives()
    {
        if (!zelvano::test::HaveRarCommand())
            QSKIP("the rar command is not installed");
        zelvano::test::IsolatedHome home;
        QTemporaryDir dir;
        const QStringList names = L({"a", "b", "c", "d"});
        for (const QString& name : names)
            QVERIFY(zelvano::test::MakeEncryptedRar(dir.filePath(name + QStringLiteral(".rar")),
                                                    {{name + QStringLiteral(".jpg"), zelvano::test::Jpeg()}},
                                                    QStringLiteral("pw-") + name, RarEncryption::Data));
        CXSettings settings;
        settings.ResetToDefaults();
        settings.m_nAfterExtraction = AfterDoNothing;
        settings.m_nExtractTo = 1;
        CXPasswordStore store;
        AnsweringHost host;
        host.m_replies = {Typed("pw-a"), Skip(PasswordAnswer::SkipArchive), Skip(PasswordAnswer::SkipAll),
                          Typed("pw-d")};
        CXArchiveList list;
        list.m_pPasswords = &store;
        list.m_pHost = &host;
        const QList<CXSelItem> selection = zelvano::test::ScanAndSelectAll(list, dir.path(), settings);
        QCOMPARE(list.m_arrArchives.size(), 4);
        CXUnpackRun run(list, settings, host, DefaultUnpackOperations());
        QCOMPARE(run.Start(selection, dir.path()), UnpackStart::Started);
        run.Wait();

        QCOMPARE(host.m_asked, (L({"a.rar", "b.rar", "c.rar"})));
        QVERIFY(store.IsSkipAll());
        for (const CXArchiveFile& archive : list.m_arrArchives) {
            const bool opened = archive.m_strFileName == QLatin1String("a.rar");
            QCOMPARE(archive.m_nExtracted, opened ? 1 : 0);
            QCOMPARE(QFileInfo::exists(
                         dir.filePath(QFileInfo(archive.m_strFileName).completeBaseName() + QStringLiteral(".jpg"))),
                     opened);
            if (!opened)
                QCOMPARE(archive.m_arrFailedItems.value(0).m_strReason, zelvano::reason::EncryptedNoPassword());
        }
    }
};

QTEST_GUILESS_MAIN(TestPasswords)
#include "tst_passwords.moc"
