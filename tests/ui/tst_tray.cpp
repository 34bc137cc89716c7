// The notification-area icon: its prepared and shown states, the menu's enabling while a run is active,
// the signals its commands and activations send to the window, and the tray-availability answer the
// window relies on before hiding itself.
#include "ui/systray.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)

namespace {

QIcon TestIcon(Qt::GlobalColor colour = Qt::darkGreen)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

// One spy per command signal, so a test can say which fired and that no other did.
struct CommandSpies
{
    explicit CommandSpies(CXSysTray& tray)
        : show(&tray, &CXSysTray::showRequested), options(&tray, &CXSysTray::optionsRequested),
          about(&tray, &CXSysTray::aboutRequested), exit(&tray, &CXSysTray::exitRequested)
    {}
    QString Fired() const
    {
        QStringList fired;
        for (const auto& [name, spy] : {std::pair{"show", &show}, std::pair{"options", &options},
                                        std::pair{"about", &about}, std::pair{"exit", &exit}})
            if (!spy->isEmpty())
                fired << QStringLiteral("%1x%2").arg(QLatin1String(name)).arg(spy->size());
        return fired.join(QLatin1Char(','));
    }
    QSignalSpy show;
    QSignalSpy options;
    QSignalSpy about;
    QSignalSpy exit;
};

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { CXSysTray::SetTrayAvailableHook({}); }

    void iconStates_data();
    void iconStates();
    void secondAddChangesNothing();
    void menuLayout();
    void menuEnabling_data();
    void menuEnabling();
    void enablingReappliedWhenMenuShows();
    void commands_data();
    void commands();
    void activation_data();
    void activation();
    void trayAvailability();
};

// Operations: a = AddIcon with an icon, n = AddIcon with a null icon, s = ShowIcon, h = HideIcon,
// r = RemoveIcon. The AddIcon results are recorded in order.
void TrayTest::iconStates_data()
{
    QTest::addColumn<QString>("operations");
    QTest::addColumn<QString>("addResults");
    QTest::addColumn<bool>("added");
    QTest::addColumn<bool>("shown");

    QTest::newRow("nothing") << ""
                             << "" << false << false;
    QTest::newRow("added, not shown yet") << "a"
                                          << "1" << true << false;
    QTest::newRow("shown before added") << "sa"
                                        << "1" << true << false;
    QTest::newRow("added and shown") << "as"
                                     << "1" << true << true;
    QTest::newRow("shown twice") << "ass"
                                 << "1" << true << true;
    QTest::newRow("hidden keeps the icon") << "ash"
                                           << "1" << true << false;
    QTest::newRow("hidden and shown again") << "ashs"
                                            << "1" << true << true;
    QTest::newRow("removed") << "asr"
                             << "1" << false << false;
    QTest::newRow("show after remove") << "asrs"
                                       << "1" << false << false;
    QTest::newRow("added again after remove") << "asras"
                                              << "11" << true << true;
    QTest::newRow("null icon adds nothing") << "ns"
                                            << "1" << false << false;
    QTest::newRow("null icon, then a real one") << "nas"
                                                << "11" << true << true;
    QTest::newRow("second add refused") << "asa"
                                        << "10" << true << true;
}

void TrayTest::iconStates()
{
    QFETCH(QString, operations);
    QFETCH(QString, addResults);
    QFETCH(bool, added);
    QFETCH(bool, shown);

    CXSysTray tray;
    QString results;
    for (const QChar op : operations) {
        switch (op.toLatin1()) {
        case 'a':
            results += tray.AddIcon(QStringLiteral("Zelvano"), TestIcon()) ? u'1' : u'0';
            break;
        case 'n':
            results += tray.AddIcon(QStringLiteral("Zelvano"), QIcon()) ? u'1' : u'0';
            break;
        case 's':
            tray.ShowIcon();
            break;
        case 'h':
            tray.HideIcon();
            break;
        case 'r':
            tray.RemoveIcon();
            break;
        default:
            QFAIL("unknown operation");
        }
    }
    QCOMPARE(results, addResults);
    QCOMPARE(tray.HasIcon(), added);
    QCOMPARE(tray.IsShown(), shown);
    // The Qt icon follows where the desktop has a tray; without one it is never asked to show.
    QCOMPARE(tray.TrayIcon()->isVisible(), shown && QSystemTrayIcon::isSystemTrayAvailable());
    QCOMPARE(tray.TrayIcon()->icon().isNull(), !added);
}

void TrayTest::secondAddChangesNothing()
{
    CXSysTray tray;
    QVERIFY(tray.AddIcon(QStringLiteral("First"), TestIcon(Qt::red)));
    const qint64 firstKey = tray.TrayIcon()->icon().cacheKey();
    QVERIFY(!tray.AddIcon(QStringLiteral("Second"), TestIcon(Qt::blue)));
    QCOMPARE(tray.TrayIcon()->toolTip(), QStringLiteral("First"));
    QCOMPARE(tray.TrayIcon()->icon().cacheKey(), firstKey);
    QVERIFY(!tray.IsShown());
}

void TrayTest::menuLayout()
{
    CXSysTray tray;
    QMenu* menu = tray.Menu();
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("trayMenu"));
    QCOMPARE(tray.TrayIcon()->contextMenu(), menu);

    QStringList layout;
    for (const QAction* action : menu->actions())
        layout << (action->isSeparator() ? QStringLiteral("-") : action->objectName() + u'=' + action->text());
    const QStringList expected{
        QStringLiteral("showAction=Show Zelvano"), QStringLiteral("-"), QStringLiteral("optionsAction=Options..."),
        QStringLiteral("aboutAction=About..."),    QStringLiteral("-"), QStringLiteral("exitAction=Exit")};
    QCOMPARE(layout, expected);
    QCOMPARE(menu->findChild<QAction*>(QStringLiteral("exitAction")), tray.ExitAction());
}

void TrayTest::menuEnabling_data()
{
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<bool>("optionsAvailable");
    QTest::addColumn<bool>("aboutAvailable");
    QTest::addColumn<bool>("optionsEnabled");
    QTest::addColumn<bool>("aboutEnabled");
    QTest::addColumn<bool>("exitEnabled");

    QTest::newRow("idle") << false << true << true << true << true << true;
    QTest::newRow("run active") << true << true << true << false << false << false;
    QTest::newRow("idle, dialogs not built") << false << false << false << false << false << true;
    QTest::newRow("run active, dialogs not built") << true << false << false << false << false << false;
    QTest::newRow("idle, only Options missing") << false << false << true << false << true << true;
    QTest::newRow("idle, only About missing") << false << true << false << true << false << true;
}

void TrayTest::menuEnabling()
{
    QFETCH(bool, runActive);
    QFETCH(bool, optionsAvailable);
    QFETCH(bool, aboutAvailable);
    QFETCH(bool, optionsEnabled);
    QFETCH(bool, aboutEnabled);
    QFETCH(bool, exitEnabled);

    // Set in both orders: the result may not depend on which setter came last.
    for (int order = 0; order < 2; ++order) {
        CXSysTray tray;
        if (order == 0) {
            tray.SetRunActive(runActive);
            tray.SetOptionsAvailable(optionsAvailable);
            tray.SetAboutAvailable(aboutAvailable);
        } else {
            tray.SetOptionsAvailable(optionsAvailable);
            tray.SetAboutAvailable(aboutAvailable);
            tray.SetRunActive(runActive);
        }
        QVERIFY(tray.ShowAction()->isEnabled());
        QCOMPARE(tray.OptionsAction()->isEnabled(), optionsEnabled);
        QCOMPARE(tray.AboutAction()->isEnabled(), aboutEnabled);
        QCOMPARE(tray.ExitAction()->isEnabled(), exitEnabled);
    }
}

void TrayTest::enablingReappliedWhenMenuShows()
{
    CXSysTray tray;
    bool running = false;
    tray.SetRunActiveQuery([&running] { return running; });
    QVERIFY(tray.ExitAction()->isEnabled());

    // A run starts without anyone telling the tray: the menu must still be right when it opens.
    running = true;
    tray.Menu()->popup(QPoint(10, 10));
    QVERIFY(tray.ShowAction()->isEnabled());
    QVERIFY(!tray.OptionsAction()->isEnabled());
    QVERIFY(!tray.AboutAction()->isEnabled());
    QVERIFY(!tray.ExitAction()->isEnabled());
    tray.Menu()->hide();

    running = false;
    tray.Menu()->popup(QPoint(10, 10));
    QVERIFY(tray.OptionsAction()->isEnabled());
    QVERIFY(tray.ExitAction()->isEnabled());
    tray.Menu()->hide();
}

void TrayTest::commands_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("runActive");
    QTest::addColumn<QString>("fired");

    QTest::newRow("show") << "showAction" << false << "showx1";
    QTest::newRow("options") << "optionsAction" << false << "optionsx1";
    QTest::newRow("about") << "aboutAction" << false << "aboutx1";
    QTest::newRow("exit") << "exitAction" << false << "exitx1";
    QTest::newRow("show while running") << "showAction" << true << "showx1";
    QTest::newRow("options while running") << "optionsAction" << true << "";
    QTest::newRow("about while running") << "aboutAction" << true << "";
    QTest::newRow("exit while running") << "exitAction" << true << "";
}

void TrayTest::commands()
{
    QFETCH(QString, action);
    QFETCH(bool, runActive);
    QFETCH(QString, fired);

    CXSysTray tray;
    tray.SetRunActive(runActive);
    CommandSpies spies(tray);
    QAction* command = tray.Menu()->findChild<QAction*>(action);
    QVERIFY(command);
    command->trigger();
    QCOMPARE(spies.Fired(), fired);
}

void TrayTest::activation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("singleClickRestores");
    QTest::addColumn<bool>("restores");

    QTest::newRow("double-click") << QSystemTrayIcon::DoubleClick << false << true;
    QTest::newRow("double-click, single clicks too") << QSystemTrayIcon::DoubleClick << true << true;
    QTest::newRow("single click") << QSystemTrayIcon::Trigger << false << false;
    QTest::newRow("single click where it restores") << QSystemTrayIcon::Trigger << true << true;
    QTest::newRow("context") << QSystemTrayIcon::Context << true << false;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << true << false;
    QTest::newRow("unknown") << QSystemTrayIcon::Unknown << true << false;
}

void TrayTest::activation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, singleClickRestores);
    QFETCH(bool, restores);

    CXSysTray tray;
    tray.AddIcon(QStringLiteral("Zelvano"), TestIcon());
    tray.SetSingleClickRestores(singleClickRestores);
    // Restoring works while a run is active too.
    tray.SetRunActive(true);
    CommandSpies spies(tray);
    Q_EMIT tray.TrayIcon()->activated(reason);
    QCOMPARE(spies.Fired(), restores ? QStringLiteral("showx1") : QString());
}

void TrayTest::trayAvailability()
{
    // The offscreen platform has no tray: the real answer must be false here, and the hook must be able to
    // say either.
    QCOMPARE(CXSysTray::IsTrayAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(!CXSysTray::IsTrayAvailable());
    CXSysTray::SetTrayAvailableHook([] { return true; });
    QVERIFY(CXSysTray::IsTrayAvailable());
    CXSysTray::SetTrayAvailableHook([] { return false; });
    QVERIFY(!CXSysTray::IsTrayAvailable());
    CXSysTray::SetTrayAvailableHook({});
    QCOMPARE(CXSysTray::IsTrayAvailable(), QSystemTrayIcon::isSystemTrayAvailable());
}

QTEST_MAIN(TrayTest)
#include "tst_tray.moc"
