// The profiles control of the main panel: applying a saved set of switches, saving the current.
#include "panel/PanelModel.h"
#include "platform/WhenDone.h"

#include "services/AppPreferences.h"
#include "store/MCPConfigService.h"
#include "store/ProfileFile.h"
#include "switching/ProfileApply.h"

#include <QPointer>

void PanelModel::loadProfiles()
{
    try {
        m_profiles->setProfiles(ProfileFile::load());
    } catch (const QuorlaneError &) {
        // A malformed file lists nothing here; saving says why, and the file stays untouched.
        m_profiles->setProfiles({});
    }
}

void PanelModel::applyProfile(int index)
{
    if (index < 0 || index >= m_profiles->profiles().size() || m_profiles->applying())
        return;
    setToggleError({});
    m_profiles->close();
    m_profiles->setApplying(true);
    whenDone(runProfileApply(m_profiles->profiles().at(index)), this, [this] { Q_EMIT toggleFinished(); });
}

QCoro::Task<void> PanelModel::runProfileApply(Profile profile)
{
    QPointer<PanelModel> self(this);
    QSet<QString> marked;
    // Each row shows its spinner from the moment its switch starts until the whole profile is in.
    const auto progress = [self, &marked](const ServerSwitch &change) {
        if (!self)
            return;
        const QString key = ServerRows::busyKey(change.projectPath, change.name, change.source);
        marked.insert(key);
        self->m_busy.insert(key);
        self->rebuildNow();
    };
    ProfileApply::Request request{profile, m_services.prefs->autoRelaunch(), false, progress};
    QString failure;
    try {
        QCoro::Task<ProfileApply::Result> applying =
            ProfileApply::apply(switchFlow(), m_services.config, std::move(request));
        const ProfileApply::Result result = co_await std::move(applying);
        if (result.failure)
            failure = QStringLiteral("%1 of %2 switches of \u2018%3\u2019 were made. %4")
                          .arg(result.done)
                          .arg(result.plan.switches.size())
                          .arg(profile.name, *result.failure);
    } catch (const std::exception &error) {
        failure = SwitchFlow::describe(error);
    }
    if (!self)
        co_return;
    m_busy -= marked;
    m_profiles->setApplying(false);
    rebuildNow();
    if (!failure.isEmpty())
        setToggleError(failure);
}

void PanelModel::saveProfile(const QString &name)
{
    if (!ProfileNames::problem(name).isEmpty())
        return;
    setToggleError({});
    m_profiles->close();
    whenDone(runProfileSave(name), this, [] {});
}

QCoro::Task<void> PanelModel::runProfileSave(QString name)
{
    QPointer<PanelModel> self(this);
    const Profile profile{name, QDateTime::currentDateTimeUtc(),
                          ProfilePlans::currentState(*m_services.config)};
    QString failure;
    try {
        QCoro::Task<void> saving = ProfileFile::update([profile](QList<Profile> &profiles) {
            profiles.removeIf([&](const Profile &old) { return old.name == profile.name; });
            profiles.append(profile);
        });
        co_await std::move(saving);
    } catch (const std::exception &error) {
        failure = SwitchFlow::describe(error);
    }
    if (!self)
        co_return;
    if (!failure.isEmpty())
        setToggleError(failure);
    loadProfiles();
}
