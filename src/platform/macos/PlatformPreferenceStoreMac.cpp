#include "platform/PlatformPreferenceStore.h"

namespace PlatformPreferenceStore {

// The user defaults domain does not depend on HOME.
std::function<std::unique_ptr<QSettings>()> locate()
{
    return [] {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           QStringLiteral("quorlane.dev"), QStringLiteral("Quorlane"));
    };
}

// The defaults system reads its own files; there is nothing of ours to check.
QString problem()
{
    return {};
}

} // namespace PlatformPreferenceStore
