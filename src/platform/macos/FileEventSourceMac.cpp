#include "platform/FileEventSource.h"

#include <QFile>

#include <dispatch/dispatch.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// What the handlers need; owned by the dispatch source and freed by its cancel handler, which
// runs after the last event handler, so no handler ever sees it freed.
struct SourceState
{
    int fd;
    std::function<void()> onEvent;
    bool cancelled = false;
};

// A dispatch vnode source on a descriptor opened for events only (O_EVTONLY, so the watch never
// keeps a volume busy), delivering on the main queue, which Qt's main event loop drains.
class DispatchSource final : public FileEventSource
{
public:
    DispatchSource(int fd, std::function<void()> onEvent) : m_state(new SourceState{fd, std::move(onEvent)})
    {
        m_source = dispatch_source_create(DISPATCH_SOURCE_TYPE_VNODE, uintptr_t(fd),
                                          DISPATCH_VNODE_WRITE | DISPATCH_VNODE_RENAME |
                                              DISPATCH_VNODE_DELETE | DISPATCH_VNODE_EXTEND,
                                          dispatch_get_main_queue());
        dispatch_set_context(m_source, m_state);
        dispatch_source_set_event_handler_f(m_source, [](void *context) {
            auto *state = static_cast<SourceState *>(context);
            if (!state->cancelled)
                state->onEvent();
        });
        dispatch_source_set_cancel_handler_f(m_source, [](void *context) {
            auto *state = static_cast<SourceState *>(context);
            ::close(state->fd);
            delete state;
        });
        dispatch_resume(m_source);
    }
    ~DispatchSource() override { cancel(); }

    void cancel() override
    {
        if (!m_source)
            return;
        m_state->cancelled = true;
        dispatch_source_cancel(m_source);
        dispatch_release(m_source);
        m_source = nullptr;
    }

private:
    dispatch_source_t m_source = nullptr;
    SourceState *m_state;
};

} // namespace

std::unique_ptr<FileEventSource> FileEventSource::open(const QString &path, QObject *context,
                                                       std::function<void()> onEvent)
{
    Q_UNUSED(context); // the main queue is the main thread's
    const int fd = ::open(QFile::encodeName(path).constData(), O_EVTONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<DispatchSource>(fd, std::move(onEvent));
}
