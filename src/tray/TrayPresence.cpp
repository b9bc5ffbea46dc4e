#include "tray/TrayPresence.h"

#include "tray/PanelWindowing.h"

#ifndef Q_OS_MACOS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#endif

namespace {

bool hasStatusNotifierHost()
{
#ifdef Q_OS_MACOS
    return false;
#else
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    // A watcher alone shows nothing: some host (a panel's tray) must have registered with it.
    QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
#endif
}

} // namespace

TrayPresence::TrayPresence(QObject *parent) : QObject(parent)
{
    // Only while waiting at start-up; nothing polls once the question is settled.
    m_poll.setInterval(200);
    connect(&m_poll, &QTimer::timeout, this, &TrayPresence::poll);
}

TrayPresence::Kind TrayPresence::current()
{
#ifdef Q_OS_MACOS
    return Kind::statusNotifier; // the menu bar is always there
#else
    // The X selection first: one round trip, where reaching a session bus that is not there
    // can take a while.
    if (PanelWindowing::hasEmbeddedTray())
        return Kind::embedded;
    if (hasStatusNotifierHost())
        return Kind::statusNotifier;
    return Kind::none;
#endif
}

void TrayPresence::wait(std::chrono::milliseconds limit)
{
    m_giveUpAt = std::chrono::steady_clock::now() + limit;
    poll();
}

void TrayPresence::poll()
{
    const Kind kind = current();
    if (kind != Kind::none || std::chrono::steady_clock::now() >= m_giveUpAt) {
        m_poll.stop();
        Q_EMIT decided(kind);
        return;
    }
    m_poll.start();
}
