#pragma once

#include "store/MCPSource.h"
#include "store/ProjectSwitchPlan.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

class MCPConfigService;
class SessionManager;
class ToggleEvents;

// One server switched on or off, named as everywhere else: source, project folder, name.
struct ServerSwitch
{
    QString name;
    MCPSource source = MCPSource::global;
    QString projectPath; // the project folder of a project server; empty otherwise
    bool enabled = false;
    bool trust = false; // put back a definition that came from inside the project folder
    // How a project switch reaches what Claude Code loads in the folder, decided from the
    // folder's loads; none: through the project's record, as the panel and profiles switch.
    std::optional<ProjectSwitchPlan> plan = std::nullopt;

    bool operator==(const ServerSwitch &) const = default;
};

// The one road of a switch, for the panel and the command line alike: write it through the
// lossless path of its source, announce it on the toggle-event channel, reload under the
// mutation lock, and relaunch the sessions it concerns when asked. A batch of switches relaunches
// once, at its end.
//
// The flow holds only pointers to the services, which outlive whoever starts it: a switch that
// has begun completes and is announced even when the panel that started it goes away.
class SwitchFlow
{
public:
    // Without `sessions` nothing is relaunched; without `events` nothing is announced.
    SwitchFlow(MCPConfigService *config, SessionManager *sessions, ToggleEvents *events);

    // Writes one switch and announces it. A global or Claude Desktop switch is published by
    // setServer itself; a project switch is written on a worker and published with `reload`
    // unless `reloadAfter` is false (the caller reloads once after several). Throws the
    // switch's QuorlaneError; a failed project switch is reloaded all the same, since it may
    // have changed the record halfway.
    QCoro::Task<void> switchServer(ServerSwitch change, bool reloadAfter = true) const;

    // The switches in order, stopping at the first failure. A run of global and Desktop switches
    // shares one lock and one reload; project switches are reloaded once after all. With
    // `relaunch`, one relaunch of the sessions the done switches concern. `progress` hears of
    // each switch before it is written. Gives how many were done and the failure's description.
    struct Batch
    {
        QList<ServerSwitch> switches;
        bool relaunch = false;
        std::function<void(const ServerSwitch &)> progress;
    };
    struct BatchResult
    {
        qsizetype done = 0;
        std::optional<QString> failure; // the error's description, when a switch failed
    };
    QCoro::Task<BatchResult> run(Batch batch) const;

    // With `relaunch`: refreshes the sessions, then relaunches those the switches concern (a
    // global or Desktop switch reaches every session, a project switch those in its folder).
    QCoro::Task<void> relaunchAfter(QList<ServerSwitch> done) const;

    // The one reload under the mutation lock for the flows; a failure leaves the lists as they
    // were (the next reload tries again).
    QCoro::Task<void> reload() const;

    [[nodiscard]] static QString describe(const std::exception &error);

private:
    void announce(const ServerSwitch &change) const;

    // Guarded: a flow that has begun may outlive the services when the application ends.
    QPointer<MCPConfigService> m_config;
    QPointer<SessionManager> m_sessions;
    QPointer<ToggleEvents> m_events;
};
