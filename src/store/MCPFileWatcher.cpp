#include "store/MCPFileWatcher.h"

#include "platform/FileEventSource.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <sys/stat.h>

struct MCPFileWatcher::Watch
{
    QString path;
    // Watched through the folder for good: the file did not exist at creation.
    bool folderForGood = false;
    // The file object the source is bound to; while `waiting`, the folder is watched until a
    // file is back at `path`.
    dev_t device = 0;
    ino_t inode = 0;
    bool waiting = false;
    std::unique_ptr<FileEventSource> source;
};

namespace {

bool identify(const QString &path, dev_t &device, ino_t &inode)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

} // namespace

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

qsizetype MCPFileWatcher::sourceCount() const
{
    return std::count_if(m_watches.cbegin(), m_watches.cend(),
                         [](const auto &watch) { return bool(watch->source); });
}

void MCPFileWatcher::watch(const QString &path)
{
    auto entry = std::make_unique<Watch>();
    entry->path = path;
    // Decided once: a file created later is seen as a change in its folder, for good.
    entry->folderForGood = !QFileInfo::exists(path);
    arm(*entry);
    if (entry->source)
        m_watches.push_back(std::move(entry));
}

void MCPFileWatcher::arm(Watch &watch)
{
    if (watch.source)
        watch.source->cancel();
    watch.source.reset();
    QPointer<MCPFileWatcher> self(this);
    Watch *target = &watch;
    const auto handler = [self, target] {
        if (self && !self->m_stopped)
            self->onEvent(*target);
    };
    const QString folder = QFileInfo(watch.path).absolutePath();
    if (watch.folderForGood) {
        watch.source = FileEventSource::open(folder, this, handler);
        return;
    }
    // The file is identified before and after it is opened: a replacement in between would bind
    // the source to a file no longer at the path, so it is tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        dev_t device = 0;
        ino_t inode = 0;
        if (!identify(watch.path, device, inode))
            break;
        auto source = FileEventSource::open(watch.path, this, handler);
        dev_t openedDevice = 0;
        ino_t openedInode = 0;
        if (source && identify(watch.path, openedDevice, openedInode) && openedDevice == device &&
            openedInode == inode) {
            watch.source = std::move(source);
            watch.device = device;
            watch.inode = inode;
            watch.waiting = false;
            return;
        }
    }
    // Nothing at the path for now: the folder tells when a file is back.
    watch.source = FileEventSource::open(folder, this, handler);
    watch.waiting = true;
}

void MCPFileWatcher::onEvent(Watch &watch)
{
    if (watch.folderForGood) {
        scheduleFire();
        return;
    }
    dev_t device = 0;
    ino_t inode = 0;
    const bool present = identify(watch.path, device, inode);
    if (watch.waiting) {
        // Other entries of the folder are no business of this watch.
        if (!present)
            return;
        scheduleFire();
        rearmLater(watch);
        return;
    }
    scheduleFire();
    if (!present || device != watch.device || inode != watch.inode)
        rearmLater(watch); // replaced or deleted: follow the path, not the old file
}

void MCPFileWatcher::rearmLater(Watch &watch)
{
    // Not from inside the handler: re-arming destroys the source that is delivering the event.
    Watch *target = &watch;
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            const bool known = std::any_of(m_watches.cbegin(), m_watches.cend(),
                                           [target](const auto &watch) { return watch.get() == target; });
            if (known && !m_stopped)
                arm(*target);
        },
        Qt::QueuedConnection);
}

void MCPFileWatcher::scheduleFire()
{
    // Restarting the single-shot timer cancels the pending run and schedules a new one, so the
    // callback runs once, an interval after the last event of a burst.
    m_pendingFire.start(int(m_debounceInterval * 1000.0));
}

void MCPFileWatcher::stop()
{
    m_stopped = true;
    m_pendingFire.stop();
    for (const auto &watch : m_watches) {
        if (watch->source)
            watch->source->cancel();
    }
    m_watches.clear();
}
