#pragma once

#include <QSettings>

#include <memory>

namespace PlatformPreferenceStore {

// macOS: the application's user defaults domain. Linux: a typed JSON file in Quorlane's folder
// under $XDG_CONFIG_HOME (an INI file would turn a one-element list into a string).
std::unique_ptr<QSettings> open();

} // namespace PlatformPreferenceStore
