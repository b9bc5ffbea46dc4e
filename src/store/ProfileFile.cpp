#include "store/ProfileFile.h"

#include "platform/Paths.h"
#include "platform/QuorlaneError.h"
#include "store/JsonFile.h"
#include "store/QuorlaneFolder.h"
#include "store/QuorlaneLock.h"

#include <QFileInfo>

#include <algorithm>

namespace {

QuorlaneError unreadable(const QString &path, const QString &why)
{
    return QuorlaneError(
        QStringLiteral("The profiles in %1 could not be read (%2). The file was left as it is.")
            .arg(path, why));
}

} // namespace

QString ProfileFile::path()
{
    return Paths::quorlaneSupportDirectory() + QStringLiteral("/profiles.json");
}

QList<Profile> ProfileFile::load(const QString &path)
{
    const std::optional<QByteArray> bytes = JsonFile::readIfExists(path);
    if (!bytes)
        return {};
    if (JsonFile::nestingDepth(*bytes) > JsonFile::kMaxNestingDepth)
        throw unreadable(path, QStringLiteral("nested too deeply"));
    const std::optional<nlohmann::json> root = JsonFile::parseObject(*bytes);
    if (!root)
        throw unreadable(path, QStringLiteral("not a JSON object"));
    const auto list = root->find("profiles");
    if (list == root->end() || !list->is_array())
        throw unreadable(path, QStringLiteral("no \"profiles\" list"));
    QList<Profile> profiles;
    for (const nlohmann::json &value : *list) {
        std::optional<Profile> profile = Profile::decode(value);
        if (!profile)
            throw unreadable(path, QStringLiteral("profile %1 is malformed").arg(profiles.size() + 1));
        profiles.append(std::move(*profile));
    }
    return profiles;
}

QCoro::Task<void> ProfileFile::update(std::function<void(QList<Profile> &profiles)> change, QString path)
{
    QuorlaneLock lock(QFileInfo(path).absolutePath());
    co_await lock.acquire();
    QList<Profile> profiles = load(path);
    change(profiles);
    std::sort(profiles.begin(), profiles.end(),
              [](const Profile &a, const Profile &b) { return a.name < b.name; });
    nlohmann::json list = nlohmann::json::array();
    for (const Profile &profile : std::as_const(profiles))
        list.push_back(profile.encode());
    QuorlaneFolder::writePrivately(path, JsonFile::serializePretty({{"profiles", std::move(list)}}));
}

std::optional<Profile> ProfileFile::find(const QList<Profile> &profiles, const QString &name)
{
    const auto found = std::find_if(profiles.cbegin(), profiles.cend(),
                                    [&](const Profile &profile) { return profile.name == name; });
    if (found == profiles.cend())
        return std::nullopt;
    return *found;
}

Profile ProfileFile::named(const QList<Profile> &profiles, const QString &name)
{
    std::optional<Profile> profile = find(profiles, name);
    if (!profile)
        throw noSuchProfile(name);
    return *profile;
}

QuorlaneError ProfileFile::noSuchProfile(const QString &name)
{
    return QuorlaneError(QStringLiteral("There is no profile \u2018%1\u2019.").arg(name));
}
