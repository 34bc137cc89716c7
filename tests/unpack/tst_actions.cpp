#include "unpack/extract.h"

#include "support/testenv.h"
#include "unpack/extractfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The names in the trash of the isolated home (the freedesktop layout).
QStringList Trashed(const IsolatedHome& home)
{
    QStringList names = QDir(home.path() + S("/.local/share/Trash/files")).entryList(QDir::Files);
    names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(DeleteAnswer)

class TestActions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void confirm_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<DeleteAnswer>("hostAnswer");
        QTest::addColumn<bool>("moreFollow");
        QTest::addColumn<DeleteAnswer>("answer");
        QTest::addColumn<QStringList>("questions");
        // clang-format off
        QTest::newRow("confirmation off: yes without a question") << false << DeleteAnswer::No       << true  << DeleteAnswer::Yes      << QStringList();
        QTest::newRow("the host's answer, more to follow")        << true  << DeleteAnswer::NoToAll  << true  << DeleteAnswer::NoToAll  << QStringList{S("Trip.zip +")};
        QTest::newRow("the host's answer, the last archive")      << true  << DeleteAnswer::Yes      << false << DeleteAnswer::Yes      << QStringList{S("Trip.zip")};
        QTest::newRow("cancel passes through")                    << true  << DeleteAnswer::Cancel   << true  << DeleteAnswer::Cancel   << QStringList{S("Trip.zip +")};
        // clang-format on
    }
    void confirm()
    {
        QFETCH(bool, confirm);
        QFETCH(DeleteAnswer, hostAnswer);
        QFETCH(bool, moreFollow);
        QFETCH(DeleteAnswer, answer);
        QFETCH(QStringList, questions);
        UnpackFixture fx;
        fx.m_settings.m_bConfirmDelete = confirm;
        fx.m_host.m_answers = {hostAnswer};
        QCOMPARE(ConfirmArchiveDelete(fx.m_ctx, S("Trip.zip"), moreFollow), answer);
        QCOMPARE(fx.m_host.m_questions, questions);
    }

    void noHostMeansNo()
    {
        UnpackFixture fx;
        fx.m_ctx.m_pHost = nullptr;
        QCOMPARE(ConfirmArchiveDelete(fx.m_ctx, S("Trip.zip"), false), DeleteAnswer::No);
    }

    void deletePermanently()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteFile(path, "zip"));
        QVERIFY(DeleteArchive(path, false));
        QVERIFY(!QFileInfo::exists(path));
        // An archive that is already gone counts as deleted.
        QVERIFY(DeleteArchive(path, false));
        // A path that cannot be removed stays and says so.
        const QString folder = dir.filePath(S("folder.zip"));
        QVERIFY(WriteFile(folder + S("/inside.jpg"), "x"));
        QVERIFY(!DeleteArchive(folder, false));
        QVERIFY(QFileInfo::exists(folder + S("/inside.jpg")));
        QVERIFY(!DeleteArchive(QString(), false));
    }

    // The trash of the isolated home: the archive leaves its folder and can be restored from the trash.
    void deleteToTrash()
    {
        IsolatedHome home;
        QTemporaryDir dir(home.path() + S("/work-XXXXXX"));
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteFile(path, "zip bytes"));
        QVERIFY(DeleteArchive(path, true));
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(Trashed(home), QStringList{S("Trip.zip")});
        QCOMPARE(ReadFile(home.path() + S("/.local/share/Trash/files/Trip.zip")), QByteArray("zip bytes"));
    }

    // With no trash to be had the archive stays where it is (Qt would move it into "files" below the
    // current directory) and the deletion reports the failure.
    void trashThatCannotBeSetUp()
    {
        IsolatedHome home;
        QTemporaryDir dir(home.path() + S("/work-XXXXXX"));
        const QString blocker = dir.filePath(S("not-a-folder"));
        QVERIFY(WriteFile(blocker, "a file where the data folder should be"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.filePath(S(""))));
        const QString path = dir.filePath(S("Trip.zip"));
        QVERIFY(WriteFile(path, "zip"));
        const bool deleted = DeleteArchive(path, true);
        QDir::setCurrent(cwd);
        QVERIFY(!deleted);
        QCOMPARE(ReadFile(path), QByteArray("zip"));
        QVERIFY(!QFileInfo::exists(dir.filePath(S("files"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(S("info"))));
    }

    // A permanent list deletion stops at the first archive that stays; the later ones stay too.
    void deleteListPermanently()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(S("a.zip")), b = dir.filePath(S("b.zip")), c = dir.filePath(S("c.zip"));
        QVERIFY(WriteFile(a, "a"));
        QVERIFY(WriteFile(b + S("/locked"), "b")); // a non-empty folder cannot be removed as a file
        QVERIFY(WriteFile(c, "c"));
        QVERIFY(!DeleteArchives({a, b, c}, false));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(QFileInfo::exists(b));
        QVERIFY(QFileInfo::exists(c));
        QVERIFY(DeleteArchives({}, false));
        QVERIFY(DeleteArchives({c}, false));
        QVERIFY(!QFileInfo::exists(c));
    }

    void deleteListToTrash()
    {
        IsolatedHome home;
        QTemporaryDir dir(home.path() + S("/work-XXXXXX"));
        const QString a = dir.filePath(S("a.zip")), b = dir.filePath(S("b.rar"));
        QVERIFY(WriteFile(a, "a"));
        QVERIFY(WriteFile(b, "b"));
        QVERIFY(DeleteArchives({a, b}, true));
        QVERIFY(!QFileInfo::exists(a));
        QVERIFY(!QFileInfo::exists(b));
        QCOMPARE(Trashed(home), QStringList({S("a.zip"), S("b.rar")}));
    }
};

QTEST_GUILESS_MAIN(TestActions)
#include "tst_actions.moc"
