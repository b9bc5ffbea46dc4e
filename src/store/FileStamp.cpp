#include "store/FileStamp.h"

#include <QFile>

#include <sys/stat.h>
#include <time.h>

namespace {

std::int64_t nanoseconds(const timespec &time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

#if defined(__APPLE__)
timespec modificationTime(const struct stat &info)
{
    return info.st_mtimespec;
}
timespec changeTime(const struct stat &info)
{
    return info.st_ctimespec;
}
#else
timespec modificationTime(const struct stat &info)
{
    return info.st_mtim;
}
timespec changeTime(const struct stat &info)
{
    return info.st_ctim;
}
#endif

} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::int64_t(info.st_size),
                     nanoseconds(modificationTime(info)), nanoseconds(changeTime(info))};
}

std::int64_t KnownStamp::now()
{
    timespec time = {};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return nanoseconds(time);
}

bool KnownStamp::isSettled() const
{
    // File systems stamp writes with a clock that advances a tick (up to 10 ms) at a time; one
    // that keeps whole seconds only (HFS+, FAT) needs a second or two.
    constexpr std::int64_t fineTick = 20 * 1000000ll;
    constexpr std::int64_t coarseTick = 2000 * 1000000ll;
    const std::int64_t margin = stamp.modifiedNs % 1000000000 == 0 ? coarseTick : fineTick;
    return stamp.modifiedNs + margin < knownAt;
}
