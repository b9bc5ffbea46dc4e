#include "savings/TranscriptFile.h"

#include "savings/TranscriptLineReader.h"

#include "platform/FileDescriptor.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Small enough to stay in the core's cache while its lines are parsed, so a big file never
// needs a big buffer; a longer line grows the buffer up to the longest line read.
constexpr size_t chunkSize = 512 * 1024;
constexpr size_t padding = simdjson::SIMDJSON_PADDING;

// Collects what the count needs from each non-empty line, in file order.
struct LineTally
{
    std::vector<double> dates;
    qint64 undated = 0;

    // False when the line is not UTF-8, which makes the whole file unreadable as text.
    bool add(TranscriptLineReader &reader, const char *line, size_t length, size_t capacity)
    {
        if (length == 0)
            return true;
        const TranscriptLineReader::Line read = reader.read(line, length, capacity);
        if (read.kind == TranscriptLineReader::Kind::invalidText)
            return false;
        if (read.kind == TranscriptLineReader::Kind::userMessage) {
            if (read.date)
                dates.push_back(*read.date);
            else
                ++undated;
        }
        return true;
    }
};

bool isRegularFile(int fd)
{
    struct stat status
    {
    };
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace

std::optional<std::filesystem::file_time_type> modificationTime(const QString &path)
{
    std::error_code error;
    const auto time =
        std::filesystem::last_write_time(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        return std::nullopt;
    return time;
}

bool isStale(const FileCacheEntry &entry)
{
    const auto current = modificationTime(entry.path);
    return !current || *current > entry.mtime;
}

std::optional<FileCacheEntry> loadTranscript(const QString &path)
{
    TranscriptLineReader reader;
    std::vector<char> buffer;
    return loadTranscript(path, reader, buffer);
}

std::optional<FileCacheEntry> loadTranscript(const QString &path, TranscriptLineReader &reader,
                                             std::vector<char> &buffer)
{
    // The time is taken before the contents: a write in between leaves an older time on the
    // entry, so the next refresh reads the file again rather than missing the write.
    const auto mtime = modificationTime(path);
    if (!mtime)
        return std::nullopt;
    // Without O_NONBLOCK a FIFO named like a transcript would hold the scan until someone writes
    // to it; anything but a regular file (a FIFO, a device such as /dev/zero) is passed over.
    const FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0 || !isRegularFile(file.get()))
        return std::nullopt;

    LineTally tally;
    const size_t largestBuffer = longestTranscriptLine + chunkSize + padding;
    buffer.resize(std::max(buffer.size(), chunkSize + padding));
    size_t pending = 0;    // bytes of an unfinished line at the front of the buffer
    bool skipping = false; // inside a line too long to keep: dropped up to its newline
    for (;;) {
        if (buffer.size() - padding - pending < chunkSize / 2)
            buffer.resize(
                std::min(std::max(buffer.size() * 2, pending + chunkSize + padding), largestBuffer));
        const ssize_t received =
            ::read(file.get(), buffer.data() + pending, buffer.size() - padding - pending);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        const size_t filled = pending + static_cast<size_t>(received);
        const char *const data = buffer.data();
        size_t start = 0;
        if (skipping) {
            const auto *newline = static_cast<const char *>(std::memchr(data, '\n', filled));
            if (!newline) {
                if (received == 0)
                    break;
                pending = 0;
                continue;
            }
            start = static_cast<size_t>(newline - data) + 1;
            skipping = false;
        }
        while (start < filled) {
            const auto *newline = static_cast<const char *>(std::memchr(data + start, '\n', filled - start));
            if (!newline)
                break;
            const auto end = static_cast<size_t>(newline - data);
            if (end - start <= longestTranscriptLine &&
                !tally.add(reader, data + start, end - start, buffer.size() - start))
                return std::nullopt;
            start = end + 1;
        }
        if (received == 0) {
            if (!tally.add(reader, data + start, filled - start, buffer.size() - start))
                return std::nullopt;
            break;
        }
        pending = filled - start;
        if (pending > longestTranscriptLine) {
            skipping = true;
            pending = 0;
        } else {
            std::memmove(buffer.data(), data + start, pending);
        }
    }

    std::sort(tally.dates.begin(), tally.dates.end());
    FileCacheEntry entry;
    entry.path = path;
    entry.mtime = *mtime;
    entry.userMessageDates = QList<double>(tally.dates.cbegin(), tally.dates.cend());
    entry.undatedUserMessages = tally.undated;
    return entry;
}
