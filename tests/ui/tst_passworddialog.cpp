// The password question: its texts and controls, its three answers, and the way a worker's question reaches
// it on the user-interface thread.
#include "common/hostgate.h"
#include "ui/guihost.h"
#include "ui/passworddialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Answers the next modal password dialog once it shows: types text into its field, then clicks the named
// button.
void AnswerNextDialog(const QString& text, const QString& button)
{
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text, button] {
        auto* dialog = qobject_cast<CXPasswordDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit")))
            edit->setText(text);
        if (auto* press = dialog->findChild<QPushButton*>(button))
            press->click();
        else
            dialog->reject();
    });
    poll->start();
}

// Asks with the real dialog, as the window's side of the host does.
class DialogTarget final : public CXWorkerHost
{
public:
    DeleteAnswer ConfirmArchiveDelete(const QString&, bool) override { return DeleteAnswer::No; }
    PasswordAnswer AskPassword(const QString& archiveName) override
    {
        return CXPasswordDialog::Ask(archiveName, nullptr);
    }
    void ShowDiskSpaceMessage(const QString&) override {}
};

} // namespace

Q_DECLARE_METATYPE(PasswordAnswer::Kind)

class TestPasswordDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controls()
    {
        CXPasswordDialog dialog(QStringLiteral("Summer <b>2020</b>.rar"));
        auto* label = dialog.findChild<QLabel*>(QStringLiteral("passwordLabel"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Enter the password for 'Summer <b>2020</b>.rar'"));
        QCOMPARE(label->textFormat(), Qt::PlainText);
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
        QVERIFY(edit);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        const QList<QPair<QString, QString>> buttons = {
            {QStringLiteral("passwordOkButton"), QStringLiteral("OK")},
            {QStringLiteral("skipArchiveButton"), QStringLiteral("Skip this archive")},
            {QStringLiteral("skipAllButton"), QStringLiteral("Skip all encrypted archives")},
        };
        for (const auto& [name, text] : buttons) {
            auto* button = dialog.findChild<QPushButton*>(name);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->text(), text);
        }
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("passwordOkButton"))->isDefault());
    }

    void answers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<PasswordAnswer::Kind>("kind");
        QTest::addColumn<QString>("password");

        QTest::newRow("OK") << QStringLiteral(" p\u00e4ss w0rd ") << QStringLiteral("passwordOkButton")
                            << PasswordAnswer::Password << QStringLiteral(" p\u00e4ss w0rd ");
        QTest::newRow("skip this archive") << QStringLiteral("typed anyway") << QStringLiteral("skipArchiveButton")
                                           << PasswordAnswer::SkipArchive << QString();
        QTest::newRow("skip all") << QStringLiteral("typed anyway") << QStringLiteral("skipAllButton")
                                  << PasswordAnswer::SkipAll << QString();
    }
    void answers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        AnswerNextDialog(typed, button);
        const PasswordAnswer answer = CXPasswordDialog::Ask(QStringLiteral("a.rar"), nullptr);
        QTEST(answer.m_kind, "kind");
        QTEST(answer.m_strPassword, "password");
    }

    // Closed without a button (Escape, the window's close box): the archive is skipped.
    void closedSkipsTheArchive()
    {
        QTimer::singleShot(0, [] {
            if (QWidget* dialog = QApplication::activeModalWidget())
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(CXPasswordDialog::Ask(QStringLiteral("a.rar"), nullptr).m_kind, PasswordAnswer::SkipArchive);
    }

    // A worker's question is asked on the user-interface thread and its answer comes back; once the window
    // has gone, the gate answers Skip all without asking.
    void workerQuestion()
    {
        DialogTarget target;
        CXGuiWorkerHost host(target);
        CXHostGate gate(&host);
        AnswerNextDialog(QStringLiteral("secret"), QStringLiteral("passwordOkButton"));
        std::atomic<bool> done{false};
        PasswordAnswer answer;
        std::thread worker([&] {
            answer = gate.AskPassword(QStringLiteral("a.rar"));
            done = true;
        });
        // Whatever happens, the worker is released and joined.
        struct Join
        {
            CXGuiWorkerHost& host;
            std::thread& thread;
            ~Join()
            {
                host.Retire(false);
                thread.join();
            }
        } join{host, worker};
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
        QCOMPARE(answer.m_kind, PasswordAnswer::Password);
        QCOMPARE(answer.m_strPassword, QStringLiteral("secret"));

        gate.Close();
        QCOMPARE(gate.AskPassword(QStringLiteral("b.rar")).m_kind, PasswordAnswer::SkipAll);
        QVERIFY(host.IsRetired());
        QCOMPARE(host.AskPassword(QStringLiteral("c.rar")).m_kind, PasswordAnswer::SkipAll);
    }
};

QTEST_MAIN(TestPasswordDialog)
#include "tst_passworddialog.moc"
