#pragma once

#include "panel/PreferencesModel.h"
#include "panel/ProfilesModel.h"
#include "panel/ProjectListModel.h"
#include "panel/RowListModel.h"
#include "panel/TokenWeights.h"

#include "services/PanelState.h"
#include "switching/SwitchFlow.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

class AppPreferences;
class ApplicationServices;
class QJSEngine;
class QQmlEngine;
class MCPConfigService;
class MCPToolProbe;

class SessionManager;
class ToggleEvents;
class TokenSavingsService;
class UpdateChecker;

// The main panel's state and its reactions to every switch: the published lists turned into
// rows, the token figures, the error strip, the page shown, the profiles control, and what the
// panel shows while a switch goes through the switch flow. QML only draws it.
//
// A project switch writes its files on a worker (the write can wait seconds for Claude Code's
// lock on ~/.claude.json); its row shows a spinner and ignores clicks until the result is
// applied here, on the main thread.
class PanelModel : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(Panel)
    QML_SINGLETON
    Q_PROPERTY(QString page READ page NOTIFY pageChanged)
    Q_PROPERTY(bool pageAnimated READ pageAnimated NOTIFY pageChanged)
    // "loading", "empty" or "list".
    Q_PROPERTY(QString listState READ listStateName NOTIFY listStateChanged)
    Q_PROPERTY(QString toggleError READ toggleError NOTIFY toggleErrorChanged)
    Q_PROPERTY(RowListModel *globalRows READ globalRows CONSTANT)
    Q_PROPERTY(ProjectListModel *projects READ projects CONSTANT)
    Q_PROPERTY(PreferencesModel *preferences READ preferences CONSTANT)
    Q_PROPERTY(ProfilesModel *profiles READ profiles CONSTANT)
    Q_PROPERTY(bool probesRunning READ probesRunning NOTIFY probesRunningChanged)
    Q_PROPERTY(QString confirmationName READ confirmationName NOTIFY confirmationChanged)
    Q_PROPERTY(QString confirmationDetail READ confirmationDetail NOTIFY confirmationChanged)
    // What a Claude Code session outside every project carries per message: "~6.0k", whether
    // that is over Claude Code's warning, and the figure in a sentence.
    Q_PROPERTY(QString sessionTokenText READ sessionTokenText NOTIFY sessionTokensChanged)
    Q_PROPERTY(bool sessionTokensHeavy READ sessionTokensHeavy NOTIFY sessionTokensChanged)
    Q_PROPERTY(QString sessionTokenNote READ sessionTokenNote NOTIFY sessionTokensChanged)

public:
    enum class ListState
    {
        loading,
        empty,
        list,
    };
    Q_ENUM(ListState)

    // The services the panel drives; the application passes its own, tests theirs (a session
    // manager over a recording runner, a probe over a temporary cache). They outlive the panel.
    struct Services
    {
        MCPConfigService *config = nullptr;
        AppPreferences *prefs = nullptr;
        SessionManager *sessions = nullptr;
        TokenSavingsService *savings = nullptr;
        UpdateChecker *updater = nullptr;
        ToggleEvents *events = nullptr;
        TokenWeights::Estimator estimator;
        TokenWeights::ApprovalSource approvals;

        // The application's services around `config`.
        [[nodiscard]] static Services of(ApplicationServices &application, MCPConfigService *config);
        // The figures of `probe`, by name: the panel does not tell servers apart by source.
        [[nodiscard]] static TokenWeights::Estimator estimatorOf(MCPToolProbe *probe);
        // Which project servers may be probed, as Claude Code approves them for the user.
        [[nodiscard]] static TokenWeights::ApprovalSource approvalsOfCurrentUser();
    };

    // Whether switching on a project server must be confirmed first: its definition came from a
    // file inside the project folder, so the command it runs is not the user's own.
    using TrustCheck = std::function<bool(const QString &projectPath, const MCPServerEntry &entry)>;

    explicit PanelModel(Services services, QObject *parent = nullptr);
    ~PanelModel() override;

    // QML's singleton: the model of the PanelHost installed into `engine`.
    static PanelModel *create(QQmlEngine *engine, QJSEngine *);

    [[nodiscard]] QString page() const;
    [[nodiscard]] bool pageAnimated() const { return m_pageAnimated; }
    [[nodiscard]] ListState listState() const { return m_listState; }
    [[nodiscard]] QString listStateName() const;
    [[nodiscard]] const QString &toggleError() const { return m_toggleError; }
    [[nodiscard]] RowListModel *globalRows() const { return m_globalRows; }
    [[nodiscard]] ProjectListModel *projects() const { return m_projects; }
    [[nodiscard]] PreferencesModel *preferences() const { return m_preferences; }
    [[nodiscard]] ProfilesModel *profiles() const { return m_profiles; }
    [[nodiscard]] bool probesRunning() const { return m_weights->isBusy(); }
    [[nodiscard]] const TokenWeights &tokenWeights() const { return *m_weights; }
    [[nodiscard]] QString confirmationName() const
    {
        return m_pending ? m_pending->row.entry.name : QString();
    }
    [[nodiscard]] QString confirmationDetail() const;
    [[nodiscard]] const ServerLoads::SessionTokens &sessionTokens() const { return m_sessionTokens; }
    [[nodiscard]] QString sessionTokenText() const { return ServerRows::formatTokens(m_sessionTokens.total); }
    [[nodiscard]] bool sessionTokensHeavy() const { return m_sessionTokens.heavy(); }
    [[nodiscard]] QString sessionTokenNote() const;

    void setTrustCheck(TrustCheck check);
    // Shows `page` without storing it in the preferences (screenshots); nullopt follows them again.
    void setPageOverride(std::optional<PanelState> page);

    // The window opened: reload under the mutation lock, then load the token figures.
    Q_INVOKABLE void panelShown();
    // The page switches with a short fade; a request from outside the panel (the tray's menu, a
    // second start) switches it without one.
    Q_INVOKABLE void showPreferences(bool animated = true);
    Q_INVOKABLE void showMain();
    // Quit and Esc: what they end is the window's to decide (closeRequested, quitRequested).
    Q_INVOKABLE void quit();
    Q_INVOKABLE void close();
    Q_INVOKABLE void dismissError();
    // A switch of the global section (`row` of globalRows) or of a project section was flipped.
    Q_INVOKABLE void toggleGlobal(int row, bool value);
    Q_INVOKABLE void toggleProject(int section, int row, bool value);
    // A click on a row (not its switch): shows or hides its tools. `section` -1 is the global
    // section.
    Q_INVOKABLE void toggleExpanded(int section, int row);
    // Lists or hides the global servers that load in the folder of project `section`.
    Q_INVOKABLE void toggleGlobalsShown(int section);
    Q_INVOKABLE void confirmPending();
    Q_INVOKABLE void cancelPending();
    // The profiles control: applies the profile at `index` of profiles->names like a batch of
    // switches (rows busy while they apply, a failure in the error strip), or saves the current
    // state under `name`.
    Q_INVOKABLE void applyProfile(int index);
    Q_INVOKABLE void saveProfile(const QString &name);

    // Applies whatever changed since the last redraw now rather than on the next event loop turn.
    void rebuildNow();

Q_SIGNALS:
    void pageChanged();
    void listStateChanged();
    void toggleErrorChanged();
    void probesRunningChanged();
    void confirmationChanged();
    void sessionTokensChanged();
    void quitRequested();
    void closeRequested();
    // A toggle flow, with its reload and relaunch requests, has run to its end.
    void toggleFinished();
    // The reload started by panelShown has been published (the token figures load next).
    void reloaded();

private:
    struct PendingToggle
    {
        ServerRow row;
        QString projectPath;
        bool value = true;
    };

    void scheduleRebuild();
    void rebuild();
    void setToggleError(const QString &message);
    void showLoadErrors();
    void loadTokenWeights();
    void handleGlobalToggle(const ServerRow &row, bool value);
    // `trust`: the user confirmed switching on a definition that came from inside the project.
    void handleProjectToggle(const ServerRow &row, const QString &projectPath, bool value,
                             bool trust = false);
    QCoro::Task<void> runGlobalToggle(QString name, MCPSource source, bool value);
    // Runs one switch through the flow; the failure's description, or an empty text.
    QCoro::Task<QString> runSwitch(ServerSwitch change) const;
    // A global server listed in a project: switched for that folder in Claude Code's own list.
    void handleClaudeCodeToggle(const ServerRow &row, const QString &projectPath, bool value);
    // The project listed for that folder, or null.
    [[nodiscard]] const MCPProject *listedProject(const QString &projectPath) const;
    // How a switch of a project's .mcp.json server reaches Claude Code's list as well as the
    // record; nullopt for any other server of the folder.
    [[nodiscard]] std::optional<ProjectSwitchPlan> mcpjsonPlan(const QString &name,
                                                               const QString &projectPath, bool value) const;
    void startProjectSwitch(const ServerRow &row, ServerSwitch change);
    QCoro::Task<void> runProjectToggle(ServerSwitch change, QString busyKey);
    // With auto-relaunch on: refresh the sessions, then relaunch those the switches concern.
    QCoro::Task<void> relaunchAfterToggle(QList<ServerSwitch> done);
    [[nodiscard]] SwitchFlow switchFlow() const;
    QCoro::Task<void> showPanelTask();
    QCoro::Task<void> runProfileApply(Profile profile);
    QCoro::Task<void> runProfileSave(QString name);
    void loadProfiles();

    Services m_services;
    RowListModel *m_globalRows;
    ProjectListModel *m_projects;
    PreferencesModel *m_preferences;
    ProfilesModel *m_profiles;
    TokenWeights *m_weights;
    TrustCheck m_trustCheck;
    QSet<QString> m_busy;
    QSet<QString> m_expanded;     // ServerRows::busyKey of the rows showing their tools
    QSet<QString> m_globalsShown; // ids of the projects listing the global servers loading there
    ServerLoads::SessionTokens m_sessionTokens;
    QString m_loadErrorText; // what the strip shows for the last load's unreadable files
    QString m_toggleError;
    ListState m_listState = ListState::loading;
    bool m_hasLoaded = false; // a load has finished (or lists were there from the start)
    bool m_pageAnimated = true;
    std::optional<PendingToggle> m_pending;
    std::optional<PanelState> m_pageOverride;
    QTimer m_rebuildTimer;
};
