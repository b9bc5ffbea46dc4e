#pragma once

#include "sessions/ClaudeSession.h"
#include "sessions/RelaunchPreview.h"

#include <nlohmann/json.hpp>

// How the command line prints sessions and relaunch plans.
namespace SessionOutput {

// {"pid","workingDirectory","resumeID","terminal","shellPid","tty","warpFocusURL"}, absent
// fields as null.
nlohmann::ordered_json sessionJson(const ClaudeSession &session);
nlohmann::ordered_json sessionsJson(const QList<ClaudeSession> &sessions);

// One line per session: pid, terminal, tty, resume id, directory.
QString sessionLine(const ClaudeSession &session);

// {"pid","terminal","workingDirectory","leftAlone","signal","signalPid","target","text"}.
nlohmann::ordered_json stepJson(const RelaunchStep &step);

} // namespace SessionOutput
