#pragma once

#include <QCoreApplication>

// The name, domain and version every front end gives its application object, so settings,
// logs and "--version" agree whichever front end runs.
inline void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quorlane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorlane.dev"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORLANE_VERSION));
}
