#include "platform/FileEventSource.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/event.h>
#include <unistd.h>

namespace {

// One kqueue with one vnode filter on a descriptor opened for events only (O_EVTONLY), so the
// watch never keeps a volume busy. The kqueue descriptor becomes readable when events are
// pending, which is what the socket notifier waits for on the main thread.
class KqueueSource final : public FileEventSource
{
public:
    KqueueSource(int kq, int fd, QObject *context, std::function<void()> onEvent)
        : m_kq(kq), m_fd(fd), m_notifier(kq, QSocketNotifier::Read), m_onEvent(std::move(onEvent))
    {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, context, [this] { drain(); });
    }
    ~KqueueSource() override { cancel(); }

    void cancel() override
    {
        if (m_kq < 0)
            return;
        m_notifier.setEnabled(false);
        ::close(m_kq);
        ::close(m_fd);
        m_kq = m_fd = -1;
    }

private:
    void drain()
    {
        if (m_kq < 0)
            return;
        struct kevent events[8];
        const struct timespec immediately = {0, 0};
        bool any = false;
        int count;
        while ((count = ::kevent(m_kq, nullptr, 0, events, 8, &immediately)) > 0)
            any = true;
        if (any)
            m_onEvent();
    }

    int m_kq;
    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void()> m_onEvent;
};

} // namespace

std::unique_ptr<FileEventSource> FileEventSource::open(const QString &path, QObject *context,
                                                       std::function<void()> onEvent)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_EVTONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const int kq = ::kqueue();
    if (kq < 0) {
        ::close(fd);
        return nullptr;
    }
    struct kevent change;
    EV_SET(&change, fd, EVFILT_VNODE, EV_ADD | EV_ENABLE | EV_CLEAR,
           NOTE_WRITE | NOTE_RENAME | NOTE_DELETE | NOTE_EXTEND, 0, nullptr);
    if (::kevent(kq, &change, 1, nullptr, 0, nullptr) < 0) {
        ::close(kq);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<KqueueSource>(kq, fd, context, std::move(onEvent));
}
