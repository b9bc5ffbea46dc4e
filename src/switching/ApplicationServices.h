#pragma once

#include <QObject>

#include <memory>

class AppPreferences;
class MCPToolProbe;
class RelaunchQueue;
class SessionManager;
class ToggleEvents;
class TokenSavingsService;
class UpdateChecker;

// The application's long-lived services, one of each, owned by the front end that runs (the
// tray, a command, the panel renderer, a test) and handed to whatever needs them. Main thread.
//
// Each is made on first use, so a command builds only what it touches: `quorlane disable` starts
// no relaunch thread and reads no probe cache. Destroying the owner frees them all, users before
// what they use: the sessions before their relaunch queue, the preferences once their background
// writes have reached the store. A probe still running at that moment holds a thread for up to
// a minute and writes into its probe when it ends, so a busy probe is left to the end of the
// process instead of holding up the exit.
class ApplicationServices : public QObject
{
    Q_OBJECT

public:
    explicit ApplicationServices(QObject *parent = nullptr);
    ~ApplicationServices() override;

    [[nodiscard]] AppPreferences &preferences();
    [[nodiscard]] UpdateChecker &updateChecker();
    [[nodiscard]] RelaunchQueue &relaunchQueue();
    // Sessions of this system's processes, relaunched on relaunchQueue.
    [[nodiscard]] SessionManager &sessions();
    // Over <Quorlane support folder>/mcp_probe_cache_v2.json.
    [[nodiscard]] MCPToolProbe &toolProbe();
    [[nodiscard]] TokenSavingsService &savings();
    [[nodiscard]] ToggleEvents &toggleEvents();

Q_SIGNALS:
    // "quorlane.showPreferences": open the panel on its preferences page (a second start with
    // --preferences, the tray's menu). The tray shell answers it.
    void showPreferences();

private:
    std::unique_ptr<AppPreferences> m_preferences;
    std::unique_ptr<UpdateChecker> m_updateChecker;
    std::unique_ptr<RelaunchQueue> m_relaunchQueue;
    std::unique_ptr<SessionManager> m_sessions;
    std::unique_ptr<MCPToolProbe> m_toolProbe;
    std::unique_ptr<TokenSavingsService> m_savings;
    std::unique_ptr<ToggleEvents> m_toggleEvents;
};
