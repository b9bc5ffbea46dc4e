#pragma once

#include <QSettings>
#include <QStringList>

#include <memory>
#include <optional>

// The per-user preference store. Every reader and writer of the "pref_…" keys opens it through
// here, so the loader, the preferences service and the command line share one store. Values keep
// their type (a boolean stays a boolean, a list stays a list), which lets readers tell a value of
// the wrong type from a real one.
namespace PreferenceStore {

std::unique_ptr<QSettings> open();

// Why the store cannot be read or written, naming its file; empty when it can.
QString problem();

// Writes one key and flushes the store at once, so a crash right after an assignment keeps it.
// Returns why the store could not be written (naming its file), or an empty text.
QString write(QAnyStringView key, const QVariant &value);

// Writes one key on a background thread, after every write asked for before it: a flushed store
// costs the interface thread milliseconds a click cannot spare. The store is located now, so a
// change of HOME meanwhile cannot send the value elsewhere. Failures are not reported.
void writeLater(QAnyStringView key, const QVariant &value);

// Returns once every write asked for with writeLater has been made.
void waitForWrites();

// The value as a list of strings, or nullopt when it is absent or of another type.
std::optional<QStringList> stringList(const QVariant &value);

// The excluded project names, "pref_excludedPaths"; empty when unset or of the wrong type.
QStringList excludedPaths();

} // namespace PreferenceStore
