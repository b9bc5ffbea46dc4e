#pragma once

#include <QStringList>

#include <optional>

// The tray application as the `quorlane` executable starts it.
struct TrayArguments
{
    bool preferences = false; // open on the preferences page
    bool demo = false;        // run against a generated demo home
};

// The arguments (after the program name) that start the tray application: none,
// "--preferences", "--demo"; nullopt for anything else, which is the command line's.
[[nodiscard]] std::optional<TrayArguments> trayArguments(const QStringList &arguments);

// Whether there is a display to show the panel on (macOS always has one).
[[nodiscard]] bool trayHasDisplay();

// Runs the tray application to its end, or hands the request to the one already running.
int runTrayApplication(int &argc, char **argv, TrayArguments arguments);
