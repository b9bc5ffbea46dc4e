#pragma once

#include <QSettings>

#include <functional>
#include <memory>

namespace PlatformPreferenceStore {

// A typed JSON file, "preferences.json" in Quorlane's own folder, on every system: an INI file
// would turn a one-element list into a string, and the macOS user defaults ignore HOME, so tests
// and the demo would read and write the user's real settings.
// Returns how to open the store as it is located now: the function may run later on any thread
// and opens the same store even if HOME has changed meanwhile.
std::function<std::unique_ptr<QSettings>()> locate();

// Why the store's file cannot be used (it is a FIFO, a device, a folder, too large), naming the
// file; empty when it can or does not exist yet. A store with a problem reads as empty and is
// never written, so nothing waits on or overwrites what sits there.
QString problem();

} // namespace PlatformPreferenceStore
