#include "MCPFileWatcher.h"

#include "platform/FileEventSource.h"

#include <QFileInfo>
#include <QPointer>

MCPFileWatcher::MCPFileWatcher(const QStringList &paths, double debounceInterval,
                               std::function<void()> callback, QObject *parent)
    : QObject(parent), m_callback(std::move(callback)), m_debounceInterval(debounceInterval)
{
    m_pendingFire.setSingleShot(true);
    m_pendingFire.setTimerType(Qt::PreciseTimer);
    connect(&m_pendingFire, &QTimer::timeout, this, [this] {
        if (m_callback)
            m_callback();
    });
    for (const QString &path : paths)
        watch(path);
}

MCPFileWatcher::~MCPFileWatcher()
{
    stop();
}

void MCPFileWatcher::watch(const QString &path)
{
    // Decided once: a file created later is seen as a change in its folder, for good.
    const QFileInfo info(path);
    const QString target = info.exists() ? path : info.absolutePath();
    QPointer<MCPFileWatcher> self(this);
    auto source = FileEventSource::open(target, this, [self] {
        if (self)
            self->scheduleFire();
    });
    if (source)
        m_sources.push_back(std::move(source));
}

void MCPFileWatcher::scheduleFire()
{
    // Restarting the single-shot timer cancels the pending run and schedules a new one, so the
    // callback runs once, an interval after the last event of a burst.
    m_pendingFire.start(int(m_debounceInterval * 1000.0));
}

void MCPFileWatcher::stop()
{
    m_pendingFire.stop();
    for (const auto &source : m_sources)
        source->cancel();
    m_sources.clear();
}
