#include "sessions/linux/ProcProcessSource.h"
#include "platform/Utf8Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// The whole of a small /proc file; empty when it cannot be read (the process has gone, or is
// not ours to read).
QByteArray readAll(const QByteArray &path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    ::close(fd);
    return bytes;
}

QByteArray readLink(const QByteArray &path)
{
    char target[4096];
    const ssize_t n = ::readlink(path.constData(), target, sizeof target);
    return n > 0 && size_t(n) < sizeof target ? QByteArray(target, n) : QByteArray();
}

// The bytes as text, or nullopt when they are not UTF-8 and could not be given back exactly.
std::optional<QString> exactText(const QByteArray &bytes)
{
    QString text = textFromUtf8(bytes);
    if (text.toUtf8() != bytes)
        return std::nullopt;
    return text;
}

QStringList nulSeparated(const QByteArray &bytes)
{
    QStringList texts;
    for (const QByteArray &piece : bytes.split('\0'))
        texts.append(textFromUtf8(piece));
    if (!texts.isEmpty() && texts.constLast().isEmpty())
        texts.removeLast();
    return texts;
}

struct Stat
{
    QString name;
    qint64 parentPid = 0;
    qint64 terminal = 0; // the kernel's device number, 0 for none
};

// "pid (name) state ppid pgrp session tty_nr …": the name may hold spaces and parentheses, so
// the fields are counted from the last ")".
std::optional<Stat> parseStat(const QByteArray &line)
{
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 5)
        return std::nullopt;
    return Stat{QString::fromUtf8(line.mid(open + 1, close - open - 1)), fields.at(1).toLongLong(),
                fields.at(4).toLongLong()};
}

bool isDevice(const QByteArray &path, dev_t device)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device;
}

} // namespace

QByteArray ProcProcessSource::path(qint64 pid, const char *entry) const
{
    return m_root + '/' + QByteArray::number(pid) + '/' + entry;
}

QList<ProcessInfo> ProcProcessSource::processes() const
{
    QList<ProcessInfo> processes;
    DIR *dir = ::opendir(m_root.constData());
    if (!dir)
        return processes;
    const uid_t user = ::getuid();
    while (const dirent *entry = ::readdir(dir)) {
        char *end = nullptr;
        const long long pid = std::strtoll(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        // Other users' processes are not ours to restart.
        struct stat owner;
        if (::stat((m_root + '/' + entry->d_name).constData(), &owner) != 0 || owner.st_uid != user)
            continue;
        const auto stat = parseStat(readAll(path(pid, "stat")));
        if (!stat)
            continue;
        processes.append({pid, stat->parentPid, stat->name, textFromUtf8(readLink(path(pid, "exe"))),
                          nulSeparated(readAll(path(pid, "cmdline")))});
    }
    ::closedir(dir);
    std::sort(processes.begin(), processes.end(),
              [](const ProcessInfo &a, const ProcessInfo &b) { return a.pid < b.pid; });
    return processes;
}

QString ProcProcessSource::workingDirectory(qint64 pid) const
{
    return exactText(readLink(path(pid, "cwd"))).value_or(QString());
}

QStringList ProcProcessSource::environment(qint64 pid) const
{
    return nulSeparated(readAll(path(pid, "environ")));
}

std::optional<QString> ProcProcessSource::tty(qint64 pid) const
{
    const auto stat = parseStat(readAll(path(pid, "stat")));
    if (!stat || stat->terminal == 0)
        return std::nullopt;
    const auto number = quint64(stat->terminal);
    const dev_t device = makedev((number >> 8) & 0xfff, (number & 0xff) | ((number >> 12) & 0xfff00));
    // The terminal is usually one of the standard descriptors; otherwise a pseudo-terminal's
    // name follows from its number.
    for (const char *fd : {"fd/0", "fd/1", "fd/2"}) {
        const QByteArray target = readLink(path(pid, fd));
        if (target.startsWith("/dev/") && isDevice(target, device))
            return exactText(target);
    }
    const unsigned int deviceMajor = major(device);
    if (deviceMajor >= 136 && deviceMajor <= 143) {
        const QByteArray pts = "/dev/pts/" + QByteArray::number((deviceMajor - 136) * 256 + minor(device));
        if (isDevice(pts, device))
            return QString::fromLatin1(pts);
    }
    return std::nullopt;
}

std::shared_ptr<const ProcessSource> ProcessSource::forThisSystem()
{
    return std::make_shared<ProcProcessSource>();
}
