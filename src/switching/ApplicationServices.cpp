#include "switching/ApplicationServices.h"

#include "platform/Paths.h"
#include "platform/PreferenceStore.h"
#include "probe/MCPToolProbe.h"
#include "savings/TokenSavingsService.h"
#include "services/AppPreferences.h"
#include "services/ToggleEvents.h"
#include "services/UpdateChecker.h"
#include "sessions/RelaunchQueue.h"
#include "sessions/SessionManager.h"

ApplicationServices::ApplicationServices(QObject *parent) : QObject(parent) {}

ApplicationServices::~ApplicationServices()
{
    m_sessions.reset();
    m_relaunchQueue.reset();
    m_savings.reset();
    m_updateChecker.reset();
    m_toggleEvents.reset();
    if (m_toolProbe && !m_toolProbe->isIdle())
        (void)m_toolProbe.release();
    m_toolProbe.reset();
    if (m_preferences)
        PreferenceStore::waitForWrites();
    m_preferences.reset();
}

AppPreferences &ApplicationServices::preferences()
{
    if (!m_preferences)
        m_preferences = std::make_unique<AppPreferences>();
    return *m_preferences;
}

UpdateChecker &ApplicationServices::updateChecker()
{
    if (!m_updateChecker)
        m_updateChecker = std::make_unique<UpdateChecker>();
    return *m_updateChecker;
}

RelaunchQueue &ApplicationServices::relaunchQueue()
{
    if (!m_relaunchQueue)
        m_relaunchQueue = std::make_unique<RelaunchQueue>();
    return *m_relaunchQueue;
}

SessionManager &ApplicationServices::sessions()
{
    if (!m_sessions)
        m_sessions = std::make_unique<SessionManager>(ProcessSource::forThisSystem(), &relaunchQueue());
    return *m_sessions;
}

MCPToolProbe &ApplicationServices::toolProbe()
{
    if (!m_toolProbe)
        m_toolProbe = std::make_unique<MCPToolProbe>(Paths::quorlaneSupportDirectory() +
                                                     QStringLiteral("/mcp_probe_cache_v2.json"));
    return *m_toolProbe;
}

TokenSavingsService &ApplicationServices::savings()
{
    if (!m_savings)
        m_savings = std::make_unique<TokenSavingsService>();
    return *m_savings;
}

ToggleEvents &ApplicationServices::toggleEvents()
{
    if (!m_toggleEvents)
        m_toggleEvents = std::make_unique<ToggleEvents>();
    return *m_toggleEvents;
}
