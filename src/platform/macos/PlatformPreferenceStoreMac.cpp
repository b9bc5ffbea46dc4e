#include "platform/PlatformPreferenceStore.h"

namespace PlatformPreferenceStore {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("quorlane.dev"), QStringLiteral("Quorlane"));
}

} // namespace PlatformPreferenceStore
