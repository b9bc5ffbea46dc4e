#include "cli/SessionOutput.h"
#include "cli/TerminalText.h"

namespace SessionOutput {

namespace {

nlohmann::ordered_json optionalText(const std::optional<QString> &text)
{
    return text ? nlohmann::ordered_json(text->toStdString()) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json optionalNumber(const std::optional<qint64> &number)
{
    return number ? nlohmann::ordered_json(*number) : nlohmann::ordered_json(nullptr);
}

} // namespace

nlohmann::ordered_json sessionJson(const ClaudeSession &session)
{
    nlohmann::ordered_json json;
    json["pid"] = session.pid;
    json["workingDirectory"] = session.workingDirectory.toStdString();
    json["resumeID"] = optionalText(session.resumeID);
    json["terminal"] = TerminalTypes::toString(session.terminal).toStdString();
    json["shellPid"] = optionalNumber(session.shellPid);
    json["tty"] = optionalText(session.tty);
    json["warpFocusURL"] = optionalText(session.warpFocusURL);
    return json;
}

nlohmann::ordered_json sessionsJson(const QList<ClaudeSession> &sessions)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ClaudeSession &session : sessions)
        list.push_back(sessionJson(session));
    return list;
}

QString sessionLine(const ClaudeSession &session)
{
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(session.pid, -7)
        .arg(TerminalTypes::toString(session.terminal), -8)
        .arg(TerminalText::printable(session.tty.value_or(QStringLiteral("-"))), -12)
        .arg(TerminalText::printable(session.resumeID.value_or(QStringLiteral("(no resume id)"))), -36)
        .arg(TerminalText::printable(session.workingDirectory));
}

nlohmann::ordered_json stepJson(const RelaunchStep &step)
{
    nlohmann::ordered_json json;
    json["pid"] = step.session.pid;
    json["terminal"] = TerminalTypes::toString(step.session.terminal).toStdString();
    json["workingDirectory"] = step.session.workingDirectory.toStdString();
    json["leftAlone"] = step.leftAlone;
    json["signal"] = step.leftAlone ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(step.signal);
    json["signalPid"] = optionalNumber(step.signalPid);
    json["target"] =
        step.leftAlone ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(step.target.toStdString());
    json["text"] =
        step.leftAlone ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(step.text.toStdString());
    return json;
}

} // namespace SessionOutput
