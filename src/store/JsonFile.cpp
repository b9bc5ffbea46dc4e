#include "store/JsonFile.h"

#include "platform/QuorlaneError.h"
#include "platform/RegularFile.h"
#include "store/AtomicFile.h"
#include "json/LargeBuffer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace JsonFile {

std::optional<QByteArray> readIfExists(const QString &path, std::int64_t limit)
{
    // ~/.claude.json can be tens of megabytes: one buffer of its size, in huge pages.
    RegularFile::Result read = RegularFile::read(path, limit, &LargeBuffer::reserved);
    if (!read.error.isEmpty())
        throw FileSystemError(read.error);
    return std::move(read.bytes);
}

std::optional<QByteArray> read(const QString &path, std::int64_t limit)
{
    try {
        return readIfExists(path, limit);
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

void writeAtomically(const QString &path, const QByteArray &bytes)
{
    AtomicFile::replace(path, bytes);
}

bool writeAtomicallyIfUnchanged(const QString &path, const QByteArray &bytes, const QByteArray &expected)
{
    return AtomicFile::replaceIfUnchanged(path, bytes, expected);
}

void createDirectories(const QString &path)
{
    if (!QDir().mkpath(path))
        throw FileSystemError(QStringLiteral("Could not create the folder %1").arg(path));
}

int nestingDepth(const QByteArray &bytes)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

void checkNestingDepth(const QString &path, const QByteArray &bytes)
{
    const int depth = nestingDepth(bytes);
    if (depth > kMaxNestingDepth)
        throw FileSystemError(QStringLiteral("%1 nests values %2 levels deep; Quorlane changes files nested "
                                             "at most %3 levels deep. Nothing was changed.")
                                  .arg(path)
                                  .arg(depth)
                                  .arg(kMaxNestingDepth));
}

} // namespace JsonFile
