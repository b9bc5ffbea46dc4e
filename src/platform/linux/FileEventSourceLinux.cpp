#include "platform/FileEventSource.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// The four event kinds of a file: write and extend are IN_MODIFY; rename is IN_MOVE_SELF;
// deletion is IN_DELETE_SELF, with IN_ATTRIB for the link count dropping while another
// descriptor keeps the file alive. A folder reports entries created, removed or moved in it
// (not writes inside its files, which the macOS watch does not see either).
constexpr uint32_t kFileEvents = IN_MODIFY | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
constexpr uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF;

class InotifySource final : public FileEventSource
{
public:
    InotifySource(int fd, QObject *context, std::function<void()> onEvent)
        : m_fd(fd), m_notifier(fd, QSocketNotifier::Read), m_onEvent(std::move(onEvent))
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, context, [this] { drain(); });
    }
    ~InotifySource() override { cancel(); }

    void cancel() override
    {
        if (m_fd < 0)
            return;
        m_notifier.setEnabled(false);
        ::close(m_fd);
        m_fd = -1;
    }

private:
    void drain()
    {
        if (m_fd < 0)
            return;
        alignas(struct inotify_event) char buffer[4096];
        bool any = false;
        ssize_t length;
        while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char *at = buffer; at < buffer + length;) {
                const auto *event = reinterpret_cast<const struct inotify_event *>(at);
                // IN_IGNORED only says the watch is gone (after a deletion that was reported).
                if (!(event->mask & IN_IGNORED))
                    any = true;
                at += sizeof(struct inotify_event) + event->len;
            }
        }
        if (any)
            m_onEvent();
    }

    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void()> m_onEvent;
};

} // namespace

std::unique_ptr<FileEventSource> FileEventSource::open(const QString &path, QObject *context,
                                                       std::function<void()> onEvent)
{
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const QByteArray native = QFile::encodeName(path);
    // IN_ONLYDIR fails for files, so the folder mask is used exactly for folders.
    if (::inotify_add_watch(fd, native.constData(), kFolderEvents | IN_ONLYDIR) < 0 &&
        ::inotify_add_watch(fd, native.constData(), kFileEvents) < 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<InotifySource>(fd, context, std::move(onEvent));
}
