#include "platform/FileEventSource.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>

#include <dispatch/dispatch.h>
#include <fcntl.h>
#include <unistd.h>

#include <mutex>

namespace {

// The part the dispatch queue shares with the main thread. The queue only ever posts to
// `context`, and only while the source is live: cancel() clears `context` under the lock before
// the object that owns the source (and so the context, or something it outlives) goes away.
// `onEvent` is read and cleared on the main thread only.
struct Handover
{
    std::mutex mutex;
    QObject *context;
    std::function<void()> onEvent;
};

// What the handlers on the queue need; owned by the dispatch source and freed by its cancel
// handler, which runs on the same queue after the last event handler has returned. Only then
// is the descriptor closed, so a recycled descriptor number is never watched by mistake.
struct QueueState
{
    int fd;
    std::shared_ptr<Handover> handover;
};

// One private serial queue for every watch: its handlers only post to the main thread, and a
// console application's event loop does not service the main dispatch queue at all.
dispatch_queue_t eventQueue()
{
    static const dispatch_queue_t queue =
        dispatch_queue_create("dev.quorlane.file-events", DISPATCH_QUEUE_SERIAL);
    return queue;
}

void deliver(void *context)
{
    const std::shared_ptr<Handover> handover = static_cast<QueueState *>(context)->handover;
    const std::lock_guard lock(handover->mutex);
    if (!handover->context)
        return;
    // Queued: the call runs on the context's thread, from its event loop, and is dropped by Qt
    // if the context is destroyed before it runs.
    QMetaObject::invokeMethod(
        handover->context,
        [handover] {
            // A copy: the callback may cancel this very source, which clears the original.
            if (const std::function<void()> onEvent = handover->onEvent)
                onEvent();
        },
        Qt::QueuedConnection);
}

void release(void *context)
{
    auto *state = static_cast<QueueState *>(context);
    ::close(state->fd);
    delete state;
}

// A dispatch vnode source on a descriptor opened for events only (O_EVTONLY, so the watch never
// keeps a volume busy).
class DispatchSource final : public FileEventSource
{
public:
    DispatchSource(int fd, QObject *context, std::function<void()> onEvent)
        : m_handover(std::make_shared<Handover>())
    {
        m_handover->context = context;
        m_handover->onEvent = std::move(onEvent);
        m_source = dispatch_source_create(DISPATCH_SOURCE_TYPE_VNODE, uintptr_t(fd),
                                          DISPATCH_VNODE_WRITE | DISPATCH_VNODE_RENAME |
                                              DISPATCH_VNODE_DELETE | DISPATCH_VNODE_EXTEND,
                                          eventQueue());
        dispatch_set_context(m_source, new QueueState{fd, m_handover});
        dispatch_source_set_event_handler_f(m_source, deliver);
        dispatch_source_set_cancel_handler_f(m_source, release);
        dispatch_resume(m_source);
    }
    ~DispatchSource() override { cancel(); }

    void cancel() override
    {
        if (!m_source)
            return;
        {
            const std::lock_guard lock(m_handover->mutex);
            m_handover->context = nullptr;
        }
        // A call already posted finds no callback and does nothing; the callback's captures
        // are destroyed here, on the main thread, never on the queue.
        m_handover->onEvent = nullptr;
        dispatch_source_cancel(m_source);
        dispatch_release(m_source);
        m_source = nullptr;
    }

private:
    std::shared_ptr<Handover> m_handover;
    dispatch_source_t m_source = nullptr;
};

} // namespace

std::unique_ptr<FileEventSource> FileEventSource::open(const QString &path, QObject *context,
                                                       std::function<void()> onEvent)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_EVTONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<DispatchSource>(fd, context, std::move(onEvent));
}
