#include "platform/desktop/taskbarprogress.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include <algorithm>

namespace {

// The launcher-entry progress that Ubuntu's dock, KDE Plasma's task manager and other docks show on the
// program's icon. The desktop entry's name ties the signal to the icon; the object path only has to be
// ours alone.
class CXLauncherEntryProgress : public CXTaskbarBackend
{
public:
    void SetState(int state) override
    {
        if (state < 0 || state > 2)
            return;
        m_nState = state;
        Publish();
    }

    void SetValue(quint64 done, quint64 total) override
    {
        m_nDone = done;
        m_nTotal = total;
        m_nState = 2;
        Publish();
    }

private:
    void Publish()
    {
        // A launcher entry has no busy bar. An indeterminate state shows an empty bar: it still says that a
        // run is on, without claiming a share that is not known. A normal bar with nothing to count stays
        // hidden, as the Windows taskbar draws nothing for it either.
        const bool counted = m_nState == 2 && m_nTotal > 0;
        const bool visible = m_nState == 1 || counted;
        const double progress =
            counted ? std::clamp(static_cast<double>(m_nDone) / static_cast<double>(m_nTotal), 0.0, 1.0) : 0.0;
        if (m_bPublished && visible == m_bVisible && progress == m_dProgress)
            return;

        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/com/canonical/unity/launcherentry/%1").arg(QCoreApplication::applicationPid()),
            QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
        signal << QStringLiteral("application://zelvano.desktop")
               << QVariantMap{{QStringLiteral("progress"), progress}, {QStringLiteral("progress-visible"), visible}};
        if (!bus.send(signal))
            return;
        m_bPublished = true;
        m_bVisible = visible;
        m_dProgress = progress;
    }

    int m_nState = 0;
    quint64 m_nDone = 0;
    quint64 m_nTotal = 0;
    bool m_bPublished = false;
    bool m_bVisible = false;
    double m_dProgress = 0.0;
};

} // namespace

std::unique_ptr<CXTaskbarBackend> CreateTaskbarBackend(QWidget* /*window*/)
{
    return std::make_unique<CXLauncherEntryProgress>();
}
