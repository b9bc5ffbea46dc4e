#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class FileEventSource;

// Watches a fixed list of configuration files and calls `callback` on the main thread once a
// burst of changes has been quiet for `debounceInterval` seconds, so many writes give one
// reload. A path that does not exist at creation is watched through its parent folder for the
// watcher's whole life. A watched file that is deleted or replaced is reported once; the new
// file at that path is not watched (the path is not reopened). Knows nothing of the contents.
class MCPFileWatcher : public QObject
{
    Q_OBJECT
public:
    MCPFileWatcher(const QStringList &paths, double debounceInterval, std::function<void()> callback,
                   QObject *parent = nullptr);
    ~MCPFileWatcher() override;

    // Cancels a pending callback and every source; calling it again does nothing.
    void stop();

    [[nodiscard]] qsizetype sourceCount() const { return qsizetype(m_sources.size()); }
    [[nodiscard]] bool hasPendingFire() const { return m_pendingFire.isActive(); }

private:
    void watch(const QString &path);
    void scheduleFire();

    std::vector<std::unique_ptr<FileEventSource>> m_sources;
    std::function<void()> m_callback;
    double m_debounceInterval;
    QTimer m_pendingFire;
};
