// The progress host between an unpack run and the window: every call goes on, the secondary text becomes the
// run's progress followed by the entry, at most ten times a second.
#include "scan/archivelist.h"
#include "unpack/progresshost.h"

#include <QTest>

namespace {

class Recorder final : public CXWorkerHost
{
public:
    void StatusText(int line, const QString& text) override { m_texts << QStringLiteral("%1:%2").arg(line).arg(text); }
    void StatusState(int state) override { m_texts << QStringLiteral("state:%1").arg(state); }
    void EnsureArchiveVisible(int index) override { m_texts << QStringLiteral("visible:%1").arg(index); }
    void StepProgress() override { m_texts << QStringLiteral("step"); }
    void UncheckArchiveRow(int index) override { m_texts << QStringLiteral("uncheck:%1").arg(index); }
    DeleteAnswer ConfirmArchiveDelete(const QString& name, bool) override
    {
        m_texts << QStringLiteral("ask:") + name;
        return DeleteAnswer::NoToAll;
    }
    void ShowDiskSpaceMessage(const QString& text) override { m_texts << QStringLiteral("space:") + text; }
    void WindowClosing() override { m_texts << QStringLiteral("closing"); }
    QStringList m_texts;
};

CXArchiveList TwoArchives()
{
    CXArchiveList list;
    for (int i = 0; i < 2; ++i) {
        CXArchiveFile a;
        a.m_strPath = QStringLiteral("/p/a%1.zip").arg(i);
        a.m_strFileName = QStringLiteral("a%1.zip").arg(i);
        a.m_nPhotoCount = 2;
        a.m_nPhotoBytes = 2 << 20;
        list.m_arrArchives.append(a);
    }
    return list;
}

} // namespace

class TestProgressHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callsGoOnAndTheEntryFollowsTheProgress();
    void entryBytesAreShownAtMostTenTimesASecond();
};

void TestProgressHost::callsGoOnAndTheEntryFollowsTheProgress()
{
    const CXArchiveList list = TwoArchives();
    Recorder window;
    CXProgressHost host(window, list);
    host.Start(2, 4, 4 << 20);
    host.StatusState(3);
    host.StatusText(0, QStringLiteral("/p/a0.zip"));
    host.EnsureArchiveVisible(0);
    host.StatusText(1, QStringLiteral("IMG_0001.jpg"));
    // Within a tenth of a second of the last text nothing new is shown; the next call after it shows the entry.
    QTest::qWait(120);
    host.EntryProgress(1000, 2000);
    QCOMPARE(host.ConfirmArchiveDelete(QStringLiteral("a0.zip"), true), DeleteAnswer::NoToAll);
    host.UncheckArchiveRow(0);
    host.WindowClosing();

    QCOMPARE(window.m_texts.at(0), QStringLiteral("state:3"));
    QCOMPARE(window.m_texts.at(1), QStringLiteral("0:/p/a0.zip"));
    // The progress before the archive is shown, then the archive becomes visible.
    QVERIFY2(window.m_texts.at(2).startsWith(QStringLiteral("1:Archive 1 of 2")), qPrintable(window.m_texts.at(2)));
    QCOMPARE(window.m_texts.at(3), QStringLiteral("visible:0"));
    const QString entry = window.m_texts.at(4);
    QVERIFY2(entry.startsWith(QStringLiteral("1:Archive 1 of 2")) && entry.endsWith(QStringLiteral("IMG_0001.jpg")),
             qPrintable(entry));
    QCOMPARE(window.m_texts.mid(5),
             (QStringList{QStringLiteral("ask:a0.zip"), QStringLiteral("uncheck:0"), QStringLiteral("closing")}));
}

void TestProgressHost::entryBytesAreShownAtMostTenTimesASecond()
{
    const CXArchiveList list = TwoArchives();
    Recorder window;
    CXProgressHost host(window, list);
    host.Start(2, 4, 4 << 20);
    host.EnsureArchiveVisible(0);
    host.StatusText(1, QStringLiteral("IMG_0001.jpg"));
    window.m_texts.clear();
    for (int i = 1; i <= 1000; ++i)
        host.EntryProgress(i * 1000, 1000000);
    // A thousand chunks in far less than a second: shown once or twice, not a thousand times.
    QVERIFY2(window.m_texts.size() <= 2, qPrintable(window.m_texts.join(QLatin1Char('|'))));
    // The end of the archive is always shown.
    host.StepProgress();
    QCOMPARE(window.m_texts.last(), QStringLiteral("step"));
    QVERIFY(window.m_texts.at(window.m_texts.size() - 2).startsWith(QStringLiteral("1:Archive 1 of 2")));
}

QTEST_GUILESS_MAIN(TestProgressHost)
#include "tst_progresshost.moc"
