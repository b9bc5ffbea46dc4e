#include "panel/PreferencesModel.h"
#include "platform/WhenDone.h"

#include "savings/TokenSavingsService.h"
#include "services/AppPreferences.h"
#include "services/UpdateChecker.h"
#include "store/MCPConfigService.h"
#include "store/QuorlaneProjectConfig.h"

#include <QDesktopServices>
#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroFuture>

PreferencesModel::PreferencesModel(MCPConfigService *config, AppPreferences *prefs,
                                   TokenSavingsService *savings, UpdateChecker *updater,
                                   std::function<QHash<QString, qint64>()> weights, QObject *parent)
    : QObject(parent), m_config(config), m_prefs(prefs), m_savings(savings), m_updater(updater),
      m_weights(std::move(weights))
{
    connect(prefs, &AppPreferences::launchAtLoginChanged, this, &PreferencesModel::launchAtLoginChanged);
    connect(prefs, &AppPreferences::loginItemNoteChanged, this, &PreferencesModel::launchAtLoginNoteChanged);
    connect(prefs, &AppPreferences::autoRelaunchChanged, this, &PreferencesModel::autoRelaunchChanged);
    connect(savings, &TokenSavingsService::savingsStatChanged, this, &PreferencesModel::savingsChanged);
    for (auto signal : {&UpdateChecker::isCheckingChanged, &UpdateChecker::checkStateChanged,
                        &UpdateChecker::latestVersionChanged, &UpdateChecker::changelogURLChanged})
        connect(updater, signal, this, &PreferencesModel::updateChanged);
}

bool PreferencesModel::launchAtLogin() const
{
    return m_prefs->launchAtLogin();
}

void PreferencesModel::setLaunchAtLogin(bool value)
{
    m_prefs->setLaunchAtLogin(value);
}

QString PreferencesModel::launchAtLoginNote() const
{
    return m_prefs->loginItemNote();
}

bool PreferencesModel::autoRelaunch() const
{
    return m_prefs->autoRelaunch();
}

void PreferencesModel::setAutoRelaunch(bool value)
{
    m_prefs->setAutoRelaunch(value);
}

bool PreferencesModel::savingsEmpty() const
{
    const SavingsStat stat = m_savings->savingsStat();
    return stat.totalTokensSaved == 0 && stat.sessionsAnalyzed == 0;
}

QString PreferencesModel::estimatedText() const
{
    return m_savings->savingsStat().formattedTokensSaved() + QStringLiteral(" tokens");
}

QString PreferencesModel::costText() const
{
    return m_savings->savingsStat().formattedCostSaved();
}

QString PreferencesModel::sessionsText() const
{
    return QString::number(m_savings->savingsStat().sessionsAnalyzed);
}

QString PreferencesModel::currentVersion() const
{
    return m_updater->runningVersion();
}

PreferencesModel::UpdateStatus PreferencesModel::updateStatus() const
{
    if (m_updater->isChecking())
        return UpdateStatus::checking;
    // Without an address to open, a newer version is offered as a plain check.
    if (m_updater->hasUpdate() && m_updater->changelogURL().isValid())
        return UpdateStatus::updateAvailable;
    if (m_updater->checkState().kind == CheckState::Kind::failed &&
        !m_updater->checkState().message.isEmpty())
        return UpdateStatus::failed;
    return UpdateStatus::other;
}

QString PreferencesModel::updateStatusName() const
{
    switch (updateStatus()) {
    case UpdateStatus::checking:
        return QStringLiteral("checking");
    case UpdateStatus::updateAvailable:
        return QStringLiteral("updateAvailable");
    case UpdateStatus::failed:
        return QStringLiteral("failed");
    case UpdateStatus::other:
        break;
    }
    return QStringLiteral("other");
}

QString PreferencesModel::updateText() const
{
    switch (updateStatus()) {
    case UpdateStatus::failed:
        return m_updater->checkState().message;
    case UpdateStatus::updateAvailable:
        return QStringLiteral("Update available →");
    default:
        return m_updater->checkState().kind == CheckState::Kind::upToDate
                   ? QStringLiteral("Up to date")
                   : QStringLiteral("Check for updates");
    }
}

void PreferencesModel::pageShown()
{
    m_prefs->refreshLoginItemNote();
    if (!m_updater->hasCheckedThisSession())
        checkForUpdates();
}

void PreferencesModel::checkForUpdates()
{
    whenDone(m_updater->checkForUpdates(), this, [] {});
}

void PreferencesModel::openChangelog()
{
    if (m_updater->changelogURL().isValid())
        QDesktopServices::openUrl(m_updater->changelogURL());
}

void PreferencesModel::refreshSavings()
{
    if (!m_config)
        return;
    QList<MCPProject> projects = m_config->projects();
    QHash<QString, qint64> weights = m_weights();
    QPointer<TokenSavingsService> savings(m_savings);
    [](QList<MCPProject> projects, QHash<QString, qint64> weights,
       QPointer<TokenSavingsService> savings) -> QCoro::Task<void> {
        // Names in project order, duplicates kept: a server off in two projects saved in both.
        QFuture<QStringList> reading = QtConcurrent::run([projects] {
            QStringList disabled;
            for (const MCPProject &project : projects)
                disabled += QuorlaneProjectConfig::load(project.path).disabled;
            return disabled;
        });
        QStringList disabled = co_await reading;
        // The application may have ended meanwhile, and its services with it.
        if (!savings)
            co_return;
        // In a statement of its own: GCC 12 destroys a co_await expression's temporaries twice.
        QCoro::Task<> refreshing = savings->refresh(std::move(disabled), std::move(weights));
        co_await std::move(refreshing);
    }(std::move(projects), std::move(weights), savings);
}
