#pragma once

#include <QString>

#include <functional>
#include <memory>

class QObject;

// One file or folder watched through the operating system's file events (inotify on Linux; a
// dispatch vnode source, kqueue underneath, on macOS). It stays bound to the object it opened:
// once that file is deleted or moved away, later files at the same path are not seen (the
// watcher opens a new source for them). For a file, a write, an extension, a rename and a
// deletion each call `onEvent`; for a folder, an entry created, removed or renamed in it does
// too. `onEvent` runs on the main thread, from its event loop (`context` is the object whose
// thread that is).
class FileEventSource
{
public:
    virtual ~FileEventSource() = default;

    // Nullptr when the path cannot be opened for events (it does not exist, for instance).
    [[nodiscard]] static std::unique_ptr<FileEventSource> open(const QString &path, QObject *context,
                                                               std::function<void()> onEvent);

    // Stops delivering and closes the descriptor; harmless to call again.
    virtual void cancel() = 0;
};
