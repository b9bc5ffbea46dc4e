#pragma once

#include "platform/QuorlaneError.h"
#include "store/Profile.h"

#include <QCoro/QCoroTask>

#include <functional>

// The profiles, in one private file of Quorlane's folder ("profiles.json"). Replaced atomically
// by the writer of Quorlane's own files; changed only under the lock of Quorlane's folder, so two
// commands saving at once both land.
namespace ProfileFile {

[[nodiscard]] QString path();

// Every profile, sorted by name; none when the file does not exist. Throws QuorlaneError naming
// the file when it cannot be read or does not hold profiles (the file is left as it is).
[[nodiscard]] QList<Profile> load(const QString &path = ProfileFile::path());

// Reads, lets `change` edit the list and writes it back, all under the lock. A throwing
// `change` or a malformed file leaves the file untouched.
QCoro::Task<void> update(std::function<void(QList<Profile> &profiles)> change,
                         QString path = ProfileFile::path());

// The profile named `name`, or nullopt.
[[nodiscard]] std::optional<Profile> find(const QList<Profile> &profiles, const QString &name);
// The profile named `name`; throws noSuchProfile.
[[nodiscard]] Profile named(const QList<Profile> &profiles, const QString &name);
[[nodiscard]] QuorlaneError noSuchProfile(const QString &name);

} // namespace ProfileFile
