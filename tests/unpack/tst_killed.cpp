// A run killed in the middle of an entry (kill -9: no clean-up of any kind) leaves at most a temporary
// file, never a short picture under its final name; the next run removes the leftover, writes the
// whole picture and only then deletes the archive.
#include "support/testenv.h"
#include "support/zipwriter.h"
#include "unpack/extractfixture.h"
#include "unpack/tempfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace zelvano::test;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

QString CliPath()
{
    return qEnvironmentVariable("ZELVANO_BUILD_DIR") + S("/src/cli/zelvano-cli");
}

} // namespace

class TestKilled : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedMidEntry()
    {
        if (!QFileInfo(CliPath()).isExecutable())
            QSKIP("zelvano-cli is not built");
        IsolatedHome home;
        QTemporaryDir dir;
        const QString root = dir.filePath(S("tree"));
        constexpr uint64_t kSize = 768ull << 20; // long enough to be caught in the middle
        uint32_t crc = 0;
        ZipWriter zip;
        ZipItem& item = zip.add("big.bmp", QByteArray());
        item.packed = ZipWriter::DeflatedZeros(kSize, crc);
        item.crc = crc;
        item.unpackedSize = kSize;
        const QString archive = root + S("/Big.zip");
        QVERIFY(WriteFile(archive, zip.build()));
        const QString picture = root + S("/big.bmp");
        const QStringList args{S("unpack"),    S("--mode"), S("here"), S("--validate"), S("2"), S("--delete"),
                               S("permanent"), S("--when"), S("each"), S("--yes"),      root};

        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(CliPath(), args);
        QVERIFY(first.waitForStarted());
        // Wait until the entry is partly written, then kill without warning.
        QElapsedTimer timer;
        timer.start();
        bool caught = false;
        while (timer.elapsed() < 60000 && first.state() == QProcess::Running) {
            const QStringList temps = TempFilesIn(root);
            if (!temps.isEmpty() && QFileInfo(root + QLatin1Char('/') + temps.first()).size() > 0) {
                ::kill(pid_t(first.processId()), SIGKILL);
                caught = true;
                break;
            }
            QTest::qWait(2);
        }
        first.waitForFinished();
        if (!caught)
            QSKIP("the run finished before it could be caught in the middle of the entry");

        QVERIFY2(!QFileInfo::exists(picture), "a short picture took the final name");
        QVERIFY(QFileInfo::exists(archive));
        QCOMPARE(TempFilesIn(root).size(), 1);

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(CliPath(), args);
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(QFileInfo(picture).size(), qint64(kSize));
        QVERIFY(!QFileInfo::exists(archive));
        QCOMPARE(TempFilesIn(root), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestKilled)
#include "tst_killed.moc"
