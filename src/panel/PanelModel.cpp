#include "panel/PanelModel.h"
#include "platform/EnumText.h"
#include "platform/WhenDone.h"

#include "panel/PanelHost.h"
#include "panel/PreferencesModel.h"

#include "probe/MCPToolProbe.h"
#include "savings/TokenSavingsService.h"
#include "services/AppPreferences.h"
#include "services/UpdateChecker.h"
#include "sessions/SessionManager.h"
#include "store/MCPConfigService.h"
#include "store/ProjectServerApproval.h"
#include "store/QuorlaneProjectConfig.h"
#include "switching/ApplicationServices.h"
#include "switching/ProfilePlan.h"

#include <QJSEngine>
#include <QPointer>

#include <QCoro/QCoroFuture>

PanelModel::Services PanelModel::Services::of(ApplicationServices &application, MCPConfigService *config)
{
    Services services;
    services.config = config;
    services.prefs = &application.preferences();
    services.sessions = &application.sessions();
    services.savings = &application.savings();
    services.updater = &application.updateChecker();
    services.events = &application.toggleEvents();
    services.estimator = estimatorOf(&application.toolProbe());
    services.approvals = approvalsOfCurrentUser();
    return services;
}

TokenWeights::Estimator PanelModel::Services::estimatorOf(MCPToolProbe *probe)
{
    return [probe](MCPServerEntry entry) {
        ProbeIdentity server{std::nullopt, {}, entry.name};
        return probe->estimate(std::move(server), std::move(entry));
    };
}

TokenWeights::ApprovalSource PanelModel::Services::approvalsOfCurrentUser()
{
    return [] {
        auto approval = std::make_shared<ProjectServerApproval>(ProjectServerApproval::forCurrentUser());
        return [approval](const MCPProject &project, const MCPServerEntry &entry) {
            return approval->mayProbe(project, entry);
        };
    };
}

PanelModel::PanelModel(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_globalRows(new RowListModel(this)),
      m_projects(new ProjectListModel(this)), m_profiles(new ProfilesModel(this)),
      m_weights(new TokenWeights(m_services.estimator, m_services.approvals, this))
{
    m_preferences = new PreferencesModel(
        m_services.config, m_services.prefs, m_services.savings, m_services.updater,
        [this] { return m_weights->weightsByName(); }, this);
    m_rebuildTimer.setSingleShot(true);
    m_rebuildTimer.setInterval(0);
    connect(&m_rebuildTimer, &QTimer::timeout, this, &PanelModel::rebuild);

    MCPConfigService *config = m_services.config;
    const auto published = [this] { scheduleRebuild(); };
    connect(config, &MCPConfigService::globalServersChanged, this, published);
    connect(config, &MCPConfigService::desktopServersChanged, this, published);
    connect(config, &MCPConfigService::managedServersChanged, this, published);
    connect(config, &MCPConfigService::projectsChanged, this, published);
    connect(config, &MCPConfigService::disabledGlobalServersChanged, this, published);
    connect(config, &MCPConfigService::isLoadingChanged, this, [this, config] {
        m_hasLoaded = m_hasLoaded || !config->isLoading();
        scheduleRebuild();
    });
    // A source that could not be read is named in the error strip, not shown as an empty list.
    connect(config, &MCPConfigService::loadErrorsChanged, this, &PanelModel::showLoadErrors);
    showLoadErrors();
    connect(m_weights, &TokenWeights::changed, this, &PanelModel::scheduleRebuild);
    connect(m_weights, &TokenWeights::changed, this, &PanelModel::probesRunningChanged);
    connect(m_weights, &TokenWeights::idle, this, &PanelModel::probesRunningChanged);
    connect(m_services.prefs, &AppPreferences::panelStateChanged, this, &PanelModel::pageChanged);
    rebuild();
}

PanelModel::~PanelModel() = default;

QString PanelModel::page() const
{
    return m_pageOverride.value_or(m_services.prefs->panelState()) == PanelState::preferences
               ? QStringLiteral("preferences")
               : QStringLiteral("main");
}

QString PanelModel::listStateName() const
{
    return enumeratorName(m_listState);
}

QString PanelModel::confirmationDetail() const
{
    if (!m_pending)
        return {};
    const MCPServerEntry &entry = m_pending->row.entry;
    if (entry.url)
        return *entry.url;
    QStringList words{entry.command};
    words += entry.args.value_or(QStringList());
    return words.join(QLatin1Char(' '));
}

QString PanelModel::sessionTokenNote() const
{
    return ServerLoads::sessionNote(m_sessionTokens, QStringLiteral("outside every project"));
}

void PanelModel::toggleExpanded(int section, int row)
{
    const RowListModel *rows = section < 0 ? m_globalRows : m_projects->rowsAt(section);
    if (!rows || row < 0 || row >= rows->count())
        return;
    const ServerRow &server = rows->rows().at(row);
    const QString key = ServerRows::busyKey(section < 0 ? QString() : m_projects->pathAt(section),
                                            server.entry.name, server.source);
    if (!m_expanded.remove(key))
        m_expanded.insert(key);
    rebuildNow();
}

void PanelModel::toggleGlobalsShown(int section)
{
    const QString id = m_projects->idAt(section);
    if (id.isEmpty())
        return;
    if (!m_globalsShown.remove(id))
        m_globalsShown.insert(id);
    rebuildNow();
}

void PanelModel::setTrustCheck(TrustCheck check)
{
    m_trustCheck = std::move(check);
    rebuildNow();
}

void PanelModel::setPageOverride(std::optional<PanelState> page)
{
    m_pageOverride = page;
    m_pageAnimated = false;
    Q_EMIT pageChanged();
}

void PanelModel::scheduleRebuild()
{
    if (!m_rebuildTimer.isActive())
        m_rebuildTimer.start();
}

void PanelModel::rebuildNow()
{
    m_rebuildTimer.stop();
    rebuild();
}

void PanelModel::rebuild()
{
    const MCPConfigService &config = *m_services.config;
    const RowContext context{*m_weights, m_busy, m_expanded};
    m_globalRows->setRows(ServerRows::globalRows(config.desktopServers(), config.globalServers(),
                                                 config.managedServers(), config.disabledGlobalServers(),
                                                 config.loads(), context));
    const auto tokensOf = [this](const QList<ClaudeCodeRules::ServerLoad> &loads) {
        return ServerLoads::sessionTokens(loads, *m_weights);
    };
    if (const auto outside = tokensOf(config.loads()); outside != m_sessionTokens) {
        m_sessionTokens = outside;
        Q_EMIT sessionTokensChanged();
    }
    QList<ProjectListModel::Section> sections;
    sections.reserve(config.projects().size());
    for (const MCPProject &project : config.projects()) {
        const bool globalsShown = m_globalsShown.contains(project.id);
        QList<ServerRow> rows = ServerRows::projectRows(
            project, QSet<QString>(project.disabled.cbegin(), project.disabled.cend()), config.loads(),
            context, globalsShown);
        // A definition that came from inside the project folder runs only once the user has seen
        // what it runs and said yes.
        for (ServerRow &row : rows)
            row.needsConfirmation =
                m_trustCheck ? m_trustCheck(project.path, row.entry) : project.isUntrusted(row.entry.name);
        sections.append({project.id, project.path, std::move(rows), tokensOf(project.loads),
                         ServerRows::loadingGlobals(project), globalsShown});
    }
    m_projects->setSections(std::move(sections));
    m_profiles->setCurrentState(ProfilePlans::currentState(config));

    // "Loading…" only until the first lists arrive: a reload keeps the old list up until the new
    // one is published, so it never flashes.
    const bool nothing = config.globalServers().isEmpty() && config.desktopServers().isEmpty() &&
                         config.managedServers().isEmpty() && config.projects().isEmpty();
    m_hasLoaded = m_hasLoaded || !nothing;
    ListState state = ListState::list;
    if (!m_hasLoaded)
        state = ListState::loading;
    else if (nothing)
        state = ListState::empty;
    if (state != m_listState) {
        m_listState = state;
        Q_EMIT listStateChanged();
    }

    // A new name or a changed definition is measured; what the last load measured is not.
    if (!config.isLoading() &&
        !m_weights->holds(config.globalServers(), config.desktopServers(), config.projects()))
        loadTokenWeights();
}

void PanelModel::loadTokenWeights()
{
    const MCPConfigService &config = *m_services.config;
    m_weights->load(config.globalServers(), config.desktopServers(), config.projects());
    Q_EMIT probesRunningChanged();
}

void PanelModel::setToggleError(const QString &message)
{
    if (message == m_toggleError)
        return;
    m_toggleError = message;
    Q_EMIT toggleErrorChanged();
}

void PanelModel::showLoadErrors()
{
    QStringList messages;
    for (const SourceError &error : m_services.config->loadErrors())
        messages.append(error.message);
    const QString shown = messages.join(QLatin1Char('\n'));
    if (!shown.isEmpty())
        setToggleError(shown);
    else if (m_toggleError == m_loadErrorText)
        setToggleError({});
    m_loadErrorText = shown;
}

void PanelModel::dismissError()
{
    setToggleError({});
}

void PanelModel::showPreferences(bool animated)
{
    m_pageAnimated = animated;
    m_services.prefs->setPanelState(PanelState::preferences);
}

void PanelModel::showMain()
{
    m_pageAnimated = true;
    m_services.prefs->setPanelState(PanelState::main);
}

void PanelModel::quit()
{
    Q_EMIT quitRequested();
}

void PanelModel::close()
{
    Q_EMIT closeRequested();
}

void PanelModel::panelShown()
{
    whenDone(showPanelTask(), this, [] {});
}

QCoro::Task<void> PanelModel::showPanelTask()
{
    QPointer<PanelModel> self(this);
    const SwitchFlow flow = switchFlow();
    QCoro::Task<void> reloading = flow.reload();
    co_await std::move(reloading);
    if (!self)
        co_return;
    loadProfiles();
    rebuildNow();
    Q_EMIT reloaded();
    loadTokenWeights();
}

PanelModel *PanelModel::create(QQmlEngine *engine, QJSEngine *)
{
    PanelModel *model = PanelHost::modelFor(engine);
    Q_ASSERT_X(model, "Panel", "install a PanelHost into the engine before loading the panel");
    QJSEngine::setObjectOwnership(model, QJSEngine::CppOwnership);
    return model;
}
