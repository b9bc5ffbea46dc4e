#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

// One applied switch of a server, as published on the toggle-event channel.
struct ToggleAction
{
    QString server;         // the server's name
    QString projectPath;    // the project folder of a project toggle; empty for global and desktop
    bool isEnabled = false; // the state after the toggle
    QDateTime timestamp;    // when the event was built, just before it was published

    bool operator==(const ToggleAction &) const = default;
};

Q_DECLARE_METATYPE(ToggleAction)
