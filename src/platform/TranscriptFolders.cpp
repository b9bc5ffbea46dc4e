#include "platform/TranscriptFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace TranscriptFolders {
namespace {

constexpr qsizetype longestName = 200;

// Java's String.hashCode, as Claude Code computes it over JavaScript's UTF-16 code units:
// h = h * 31 + unit, wrapping at 32 bits.
int32_t pathHash(const QString &path)
{
    uint32_t hash = 0;
    for (const QChar unit : path)
        hash = hash * 31u + unit.unicode();
    return static_cast<int32_t>(hash);
}

bool isAsciiAlphanumeric(QChar unit)
{
    const char16_t c = unit.unicode();
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

QString replacedName(const QString &projectPath)
{
    QString name = projectPath;
    for (QChar &unit : name) {
        if (!isAsciiAlphanumeric(unit))
            unit = QLatin1Char('-');
    }
    return name;
}

std::optional<QString> latestIn(const QString &folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::optional<QDateTime> best;
    std::optional<QString> chosen;
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (!name.endsWith(QLatin1String(".jsonl")) || !isSessionID(name.chopped(6)) || !entry.isFile())
            continue;
        const QDateTime modified = entry.lastModified();
        if (modified.isValid() && (!best || modified > *best)) {
            best = modified;
            chosen = name.chopped(6);
        }
    }
    return chosen;
}

} // namespace

QString claudeCodeName(const QString &projectPath)
{
    const QString name = replacedName(projectPath);
    if (name.size() <= longestName)
        return name;
    // abs() of the smallest int32 overflows in JavaScript's favour (2147483648): widen first.
    const qint64 magnitude = std::llabs(static_cast<qint64>(pathHash(projectPath)));
    return name.left(longestName) + QLatin1Char('-') + QString::number(magnitude, 36);
}

QString slashOnlyName(const QString &projectPath)
{
    QString name = projectPath;
    return name.replace(QLatin1Char('/'), QLatin1Char('-'));
}

QStringList existingFolders(const QString &projectsRoot, const QString &projectPath)
{
    QStringList folders;
    const auto addIfFolder = [&](const QString &name) {
        const QString folder = projectsRoot + QLatin1Char('/') + name;
        if (!folders.contains(folder) && QFileInfo(folder).isDir())
            folders.append(folder);
    };
    const QString name = claudeCodeName(projectPath);
    addIfFolder(name);
    if (name.size() > longestName) {
        const QString prefix = name.left(longestName + 1);
        const QStringList siblings =
            QDir(projectsRoot)
                .entryList(QStringList{}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString &sibling : siblings) {
            if (sibling.startsWith(prefix))
                addIfFolder(sibling);
        }
    }
    addIfFolder(slashOnlyName(projectPath));
    return folders;
}

bool isSessionID(const QString &text)
{
    static const QRegularExpression shape(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}")));
    return shape.match(text).hasMatch();
}

std::optional<QString> latestSessionID(const QString &projectsRoot, const QString &projectPath)
{
    for (const QString &folder : existingFolders(projectsRoot, projectPath)) {
        if (const auto id = latestIn(folder))
            return id;
    }
    return std::nullopt;
}

} // namespace TranscriptFolders
