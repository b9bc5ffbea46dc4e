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
// watcher's whole life. Claude Code replaces ~/.claude.json by rename on every write, so a
// watched file that is replaced is followed to the new file at its path, and one that is
// deleted is watched for again through its folder until a file is back at the path. Knows
// nothing of the contents.
class MCPFileWatcher : public QObject
{
    Q_OBJECT
public:
    MCPFileWatcher(const QStringList &paths, double debounceInterval, std::function<void()> callback,
                   QObject *parent = nullptr);
    ~MCPFileWatcher() override;

    // Cancels a pending callback and every source; calling it again does nothing.
    void stop();

    [[nodiscard]] qsizetype sourceCount() const;
    [[nodiscard]] bool hasPendingFire() const { return m_pendingFire.isActive(); }

private:
    struct Watch;

    void watch(const QString &path);
    void arm(Watch &watch);
    void onEvent(Watch &watch);
    void rearmLater(Watch &watch);
    void scheduleFire();

    std::vector<std::unique_ptr<Watch>> m_watches;
    std::function<void()> m_callback;
    double m_debounceInterval;
    QTimer m_pendingFire;
    bool m_stopped = false;
};
