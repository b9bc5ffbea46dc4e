#include "store/ProjectRecordFile.h"

#include "platform/Paths.h"
#include "platform/QuorlaneError.h"
#include "store/JsonFile.h"
#include "store/QuorlaneFolder.h"
#include "store/QuorlaneLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ProjectRecordFile {

namespace {

QString projectsFolder()
{
    return Paths::quorlaneSupportDirectory() + QStringLiteral("/projects");
}

QString readableName(const QString &projectPath)
{
    QString name = projectPath.startsWith(QLatin1Char('/')) ? projectPath.mid(1) : projectPath;
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name;
}

enum class Place
{
    current,
    older,
    legacy,
    none
};

struct Found
{
    QuorlaneProjectConfig record;
    Place place = Place::none;
};

[[noreturn]] void refuse(const QString &projectPath, const QString &file, const QString &reason)
{
    throw QuorlaneError(
        QStringLiteral("The record of project %1 in %2 %3. No server of that project is "
                       "switched until the file is repaired or removed; it was left as it is.")
            .arg(projectPath, file, reason));
}

// A record file that exists must decode; its bytes are never replaced otherwise.
std::optional<QuorlaneProjectConfig> readRecord(const QString &projectPath, const QString &file)
{
    std::optional<QByteArray> bytes;
    try {
        bytes = JsonFile::readIfExists(file, RegularFile::kSmallLimit);
    } catch (const FileSystemError &error) {
        refuse(projectPath, file, QStringLiteral("cannot be read (%1)").arg(error.description()));
    }
    if (!bytes)
        return std::nullopt;
    auto record = QuorlaneProjectConfig::decode(*bytes);
    if (!record)
        refuse(projectPath, file,
               QStringLiteral("is not a valid record (truncated, or a member of the wrong type)"));
    return record;
}

QString sidecarName(const QString &projectPath)
{
    const QByteArray hash =
        QCryptographicHash::hash(projectPath.toUtf8(), QCryptographicHash::Sha256).toHex();
    return readableName(projectPath).left(100) + QLatin1Char('-') + QString::fromLatin1(hash.left(16)) +
           QStringLiteral(".json");
}

QString olderSidecarName(const QString &projectPath)
{
    return readableName(projectPath) + QStringLiteral(".json");
}

// The legacy file sits inside the project folder, where a cloned repository can ship one:
// whatever it says, its definitions are the repository's. One that does not decode is not read
// (and goes with the next save).
Found locateLegacy(const QString &projectPath, const Listing *listing)
{
    if (listing && !listing->mayHoldLegacy(projectPath))
        return {};
    const auto bytes = JsonFile::read(legacyPath(projectPath), RegularFile::kSmallLimit);
    auto legacy = bytes ? QuorlaneProjectConfig::decode(*bytes) : std::nullopt;
    if (!legacy)
        return {};
    for (StashedDefinition &stashed : legacy->stashedConfigs)
        stashed.origin = DefinitionOrigin::legacyProjectRecord;
    return {std::move(*legacy), Place::legacy};
}

// Throws like loadForChange.
Found locate(const QString &projectPath, const Listing *listing = nullptr)
{
    if (listing && !listing->mayHoldRecord(projectPath))
        return locateLegacy(projectPath, listing);
    const QString folder = (listing ? listing->folder() : projectsFolder()) + QLatin1Char('/');
    const auto listed = [listing](const QString &name) { return !listing || listing->holds(name); };
    const QString currentName = sidecarName(projectPath);
    const QString current = folder + currentName;
    if (auto record = listed(currentName) ? readRecord(projectPath, current) : std::nullopt) {
        if (!record->projectPath.isEmpty() && record->projectPath != projectPath)
            refuse(projectPath, current, QStringLiteral("belongs to project %1").arg(record->projectPath));
        return {std::move(*record), Place::current};
    }
    // A record of an older version names no project; one that names another project is that
    // project's, however alike the two names are.
    const QString olderName = olderSidecarName(projectPath);
    if (auto record = listed(olderName) ? readRecord(projectPath, folder + olderName) : std::nullopt) {
        if (record->projectPath.isEmpty() || record->projectPath == projectPath)
            return {std::move(*record), Place::older};
    }
    return locateLegacy(projectPath, listing);
}

} // namespace

QString sidecarPath(const QString &projectPath)
{
    return projectsFolder() + QLatin1Char('/') + sidecarName(projectPath);
}

QString olderSidecarPath(const QString &projectPath)
{
    return projectsFolder() + QLatin1Char('/') + olderSidecarName(projectPath);
}

QString legacyPath(const QString &projectPath)
{
    return projectPath + QStringLiteral("/.claude.quorlane.json");
}

QuorlaneProjectConfig loadForChange(const QString &projectPath)
{
    Found found = locate(projectPath);
    if (found.place == Place::older || found.place == Place::legacy) {
        save(found.record, projectPath);
        if (found.place == Place::older)
            QFile::remove(olderSidecarPath(projectPath));
    }
    found.record.projectPath = projectPath;
    return std::move(found.record);
}

namespace {

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Unsorted);
}

} // namespace

Listing Listing::now()
{
    Listing listing;
    listing.m_folder = projectsFolder();
    const QStringList names = entriesOf(listing.m_folder);
    listing.m_names = QSet<QString>(names.cbegin(), names.cend());
    for (const QString &name : names) {
        if (!name.endsWith(QStringLiteral(".json")))
            continue;
        listing.m_readableParts.insert(name.chopped(5));
        if (name.size() > 22 && name.at(name.size() - 22) == QLatin1Char('-'))
            listing.m_readableParts.insert(name.chopped(22));
    }
    return listing;
}

bool Listing::mayHoldRecord(const QString &projectPath) const
{
    if (m_readableParts.isEmpty())
        return false;
    const QString readable = readableName(projectPath);
    return m_readableParts.contains(readable) || m_readableParts.contains(readable.left(100));
}

bool Listing::mayHoldLegacy(const QString &projectPath) const
{
    const qsizetype slash = projectPath.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0 || slash == projectPath.size() - 1)
        return true; // no plain parent and name: looked at directly
    const QString parent = projectPath.left(slash);
    auto at = m_parents.find(parent);
    if (at == m_parents.end()) {
        std::optional<QSet<QString>> folded;
        const QStringList names = entriesOf(parent);
        // A folder that is there but cannot be listed (no read permission) is looked into.
        if (!names.isEmpty() || !QFileInfo(parent).isDir()) {
            folded.emplace();
            for (const QString &name : names)
                folded->insert(name.toCaseFolded());
        }
        at = m_parents.insert(parent, std::move(folded));
    }
    return !*at || (*at)->contains(projectPath.mid(slash + 1).toCaseFolded());
}

QuorlaneProjectConfig loadForReading(const QString &projectPath, const Listing *listing, QString *error)
{
    Found found;
    try {
        found = locate(projectPath, listing);
    } catch (const QuorlaneError &refused) {
        if (error)
            *error = refused.description();
        return {};
    } catch (const std::exception &other) {
        if (error)
            *error = QString::fromUtf8(other.what());
        return {};
    }
    if (found.place == Place::older || found.place == Place::legacy) {
        // Moving is a read-modify-write of Quorlane's files; while a switch runs it waits for a
        // later load.
        try {
            QuorlaneLock lock;
            if (lock.tryAcquire())
                return loadForChange(projectPath);
        } catch (const std::exception &) {
        }
    }
    return std::move(found.record);
}

void save(QuorlaneProjectConfig &record, const QString &projectPath)
{
    record.projectPath = projectPath;
    QuorlaneFolder::ensurePrivate(Paths::quorlaneSupportDirectory());
    QuorlaneFolder::writePrivately(sidecarPath(projectPath), record.encode());
    QFile::remove(legacyPath(projectPath));
}

} // namespace ProjectRecordFile

// Where a record lives is this file's part; the record itself only reads and writes its text.
QuorlaneProjectConfig QuorlaneProjectConfig::load(const QString &projectPath)
{
    return ProjectRecordFile::loadForReading(projectPath);
}

void QuorlaneProjectConfig::save(const QString &projectPath)
{
    ProjectRecordFile::save(*this, projectPath);
}

QString QuorlaneProjectConfig::sidecarPath(const QString &projectPath)
{
    return ProjectRecordFile::sidecarPath(projectPath);
}

QString QuorlaneProjectConfig::legacyPath(const QString &projectPath)
{
    return ProjectRecordFile::legacyPath(projectPath);
}
