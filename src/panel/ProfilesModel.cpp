#include "panel/ProfilesModel.h"

#include "switching/ProfilePlan.h"

QStringList ProfilesModel::names() const
{
    QStringList names;
    for (const Profile &profile : m_profiles)
        names.append(profile.name);
    return names;
}

QString ProfilesModel::label() const
{
    return m_matching >= 0 ? m_profiles.at(m_matching).name : QStringLiteral("Profiles");
}

void ProfilesModel::setProfiles(QList<Profile> profiles)
{
    m_profiles = std::move(profiles);
    updateMatching();
    Q_EMIT changed();
}

void ProfilesModel::setCurrentState(QList<ProfileEntry> state)
{
    if (state == m_current)
        return;
    m_current = std::move(state);
    const int before = m_matching;
    updateMatching();
    if (m_matching != before)
        Q_EMIT changed();
}

void ProfilesModel::setApplying(bool applying)
{
    m_applying = applying;
    Q_EMIT changed();
}

void ProfilesModel::toggleOpen()
{
    m_open = !m_open;
    m_naming = false;
    Q_EMIT changed();
}

void ProfilesModel::close()
{
    m_open = false;
    m_naming = false;
    Q_EMIT changed();
}

void ProfilesModel::startNaming()
{
    m_naming = true;
    Q_EMIT changed();
}

QString ProfilesModel::nameProblem(const QString &name) const
{
    return ProfileNames::problem(name);
}

// A profile matches when applying it would switch nothing; servers gone or added since do not
// count against it.
void ProfilesModel::updateMatching()
{
    m_matching = -1;
    for (int i = 0; i < m_profiles.size() && m_matching < 0; ++i)
        if (ProfilePlans::plan(m_profiles.at(i).servers, m_current).switches.isEmpty())
            m_matching = i;
}
