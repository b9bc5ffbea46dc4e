#pragma once

#include "sessions/ClaudeSession.h"
#include "sessions/ProcessSource.h"

#include <QList>
#include <QString>

#include <optional>

// What a relaunch would send, worked out without sending anything: for a dry run.
struct RelaunchStep
{
    ClaudeSession session;
    bool leftAlone = false; // it cannot be restarted from here
    std::optional<qint64> signalPid;
    int signal = 0; // 15 or 9
    QString target; // "AppleScript", or the tmux server and pane
    QString text;   // the script, or the line typed into the pane

    bool operator==(const RelaunchStep &) const = default;
};

// In the order the relaunch queue would act: the sessions outside Warp as given, then the
// Warp batch in its order. `source` tells a tmux session's server from its environment.
QList<RelaunchStep> previewRelaunch(const QList<ClaudeSession> &sessions,
                                    const std::shared_ptr<const ProcessSource> &source);
