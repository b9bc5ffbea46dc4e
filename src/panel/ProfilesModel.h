#pragma once

#include "store/Profile.h"

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The profiles control of the title bar: the saved profiles, which one the servers match now,
// whether its list is open or asks for a name, and whether an apply is under way. The panel
// model feeds it and runs the applies; QML only draws it.
class ProfilesModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The panel owns it")
    Q_PROPERTY(QStringList names READ names NOTIFY changed)
    // The profile whose state every server has now, or -1.
    Q_PROPERTY(int matchingIndex READ matchingIndex NOTIFY changed)
    // What the title bar shows: the matching profile's name, else "Profiles".
    Q_PROPERTY(QString label READ label NOTIFY changed)
    Q_PROPERTY(bool applying READ applying NOTIFY changed)
    Q_PROPERTY(bool open READ isOpen NOTIFY changed)
    // The list asks for the name to save the current state under.
    Q_PROPERTY(bool naming READ isNaming NOTIFY changed)

public:
    using QObject::QObject;

    [[nodiscard]] QStringList names() const;
    [[nodiscard]] int matchingIndex() const { return m_matching; }
    [[nodiscard]] QString label() const;
    [[nodiscard]] bool applying() const { return m_applying; }
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] bool isNaming() const { return m_naming; }
    [[nodiscard]] const QList<Profile> &profiles() const { return m_profiles; }

    void setProfiles(QList<Profile> profiles);
    void setCurrentState(QList<ProfileEntry> state);
    void setApplying(bool applying);

    Q_INVOKABLE void toggleOpen();
    Q_INVOKABLE void close();
    Q_INVOKABLE void startNaming();
    // Why `name` cannot name a profile, or "" (the save button stays off until it can).
    Q_INVOKABLE QString nameProblem(const QString &name) const;

Q_SIGNALS:
    void changed();

private:
    void updateMatching();

    QList<Profile> m_profiles;
    QList<ProfileEntry> m_current;
    int m_matching = -1;
    bool m_applying = false;
    bool m_open = false;
    bool m_naming = false;
};
