#include "JsonFile.h"

#include "LargeBuffer.h"
#include "StoreError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstring>

namespace JsonFile {

std::optional<QByteArray> readIfExists(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw FileSystemError(QStringLiteral("Could not read %1: %2").arg(path, file.errorString()));
    // Read into one buffer of the file's size: ~/.claude.json can be tens of megabytes.
    const qint64 size = file.size();
    QByteArray bytes = LargeBuffer::reserved(qsizetype(size));
    bytes.resize(qsizetype(size));
    const qint64 got = size > 0 ? file.read(bytes.data(), size) : 0;
    if (got >= 0 && got < size)
        bytes.truncate(qsizetype(got));
    if (got == size)
        bytes += file.readAll(); // it grew meanwhile
    if (file.error() != QFileDevice::NoError)
        throw FileSystemError(QStringLiteral("Could not read %1: %2").arg(path, file.errorString()));
    return bytes;
}

std::optional<QByteArray> read(const QString &path)
{
    try {
        return readIfExists(path);
    } catch (const FileSystemError &) {
        return std::nullopt;
    }
}

std::optional<nlohmann::json> parse(const QByteArray &bytes)
{
    nlohmann::json value = nlohmann::json::parse(bytes.cbegin(), bytes.cend(), nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

std::optional<nlohmann::json> parseObject(const QByteArray &bytes)
{
    auto value = parse(bytes);
    if (!value || !value->is_object())
        return std::nullopt;
    return value;
}

std::optional<nlohmann::json> readObject(const QString &path)
{
    const auto bytes = read(path);
    return bytes ? parseObject(*bytes) : std::nullopt;
}

QByteArray serializePretty(const nlohmann::json &value)
{
    const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray serializeCompact(const nlohmann::json &value)
{
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

namespace {

// Writes the temporary file; `beforeRename` may still veto the replacement.
bool saveAtomically(const QString &path, const QByteArray &bytes, const std::function<bool()> &beforeRename)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    // Flushed here, not in commit(): a full disk or a size limit must surface as a write error.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw FileSystemError(QStringLiteral("Could not write %1: %2").arg(path, reason));
    }
    if (beforeRename && !beforeRename()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        throw FileSystemError(QStringLiteral("Could not replace %1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    saveAtomically(path, bytes, {});
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qsizetype at = 0; at < bytes.size();) {
        const qint64 got = file.read(chunk.data(), std::min<qint64>(chunk.size(), bytes.size() - at));
        if (got <= 0 || std::memcmp(chunk.constData(), bytes.constData() + at, std::size_t(got)) != 0)
            return false;
        at += got;
    }
    return file.read(chunk.data(), 1) == 0;
}

bool writeAtomicallyIfUnchanged(const QString &path, const QByteArray &bytes, const QByteArray &expected)
{
    return saveAtomically(path, bytes, [&] { return holds(path, expected); });
}

void createDirectories(const QString &path)
{
    if (!QDir().mkpath(path))
        throw FileSystemError(QStringLiteral("Could not create the folder %1").arg(path));
}

QByteArray rewrite(const QString &path, const std::function<void(nlohmann::json &root)> &edit)
{
    const auto bytes = readIfExists(path);
    if (!bytes)
        throw FileSystemError(QStringLiteral("%1 does not exist").arg(path));
    auto root = parseObject(*bytes);
    if (!root)
        throw FileSystemError(QStringLiteral("%1 is not a JSON object").arg(path));
    edit(*root);
    QByteArray written = serializePretty(*root);
    writeAtomically(path, written);
    return written;
}

} // namespace JsonFile
