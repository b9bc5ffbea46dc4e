#pragma once

#include <QByteArray>
#include <QString>

// The XDG autostart entry that starts Quorlane at login: a desktop entry file in the user's
// autostart folder, which session managers scan when the user logs in.
namespace AutostartEntry {

// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
[[nodiscard]] QString directory();
// The entry's file in that folder.
[[nodiscard]] QString filePath();

// The program an entry should start: the AppImage file when running from one (the executable
// itself lives in a mount that is gone after logout), otherwise this executable. Empty when
// there is no application object to ask.
[[nodiscard]] QString programPath();

// `argument` written as one argument of an Exec value: quoted when it holds a reserved
// character, with "%" doubled and the string escapes of desktop entry values applied.
[[nodiscard]] QString execArgument(const QString &argument);

// The whole entry, UTF-8, starting `program` without arguments: the tray application.
[[nodiscard]] QByteArray text(const QString &program);

// Whether an entry's text asks to be started: it has a [Desktop Entry] group and is neither
// Hidden nor switched off through X-GNOME-Autostart-enabled (how desktops record "off" in the
// session settings without deleting the file).
[[nodiscard]] bool isEnabled(const QByteArray &text);

} // namespace AutostartEntry
