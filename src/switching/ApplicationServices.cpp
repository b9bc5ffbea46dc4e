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

namespace {

// The service in `slot`, built by `make` the first time it is asked for.
template<typename T, typename Make> T &builtOnce(std::unique_ptr<T> &slot, Make make)
{
    if (!slot)
        slot = make();
    return *slot;
}

template<typename T> T &builtOnce(std::unique_ptr<T> &slot)
{
    return builtOnce(slot, [] { return std::make_unique<T>(); });
}

} // namespace

AppPreferences &ApplicationServices::preferences()
{
    return builtOnce(m_preferences);
}

UpdateChecker &ApplicationServices::updateChecker()
{
    return builtOnce(m_updateChecker);
}

RelaunchQueue &ApplicationServices::relaunchQueue()
{
    return builtOnce(m_relaunchQueue);
}

SessionManager &ApplicationServices::sessions()
{
    return builtOnce(m_sessions, [this] {
        return std::make_unique<SessionManager>(ProcessSource::forThisSystem(), &relaunchQueue());
    });
}

MCPToolProbe &ApplicationServices::toolProbe()
{
    return builtOnce(m_toolProbe, [] {
        return std::make_unique<MCPToolProbe>(Paths::quorlaneSupportDirectory() +
                                              QStringLiteral("/mcp_probe_cache_v2.json"));
    });
}

TokenSavingsService &ApplicationServices::savings()
{
    return builtOnce(m_savings);
}

ToggleEvents &ApplicationServices::toggleEvents()
{
    return builtOnce(m_toggleEvents);
}
