#include "services/CheckState.h"

QString checkStateName(CheckState::Kind kind)
{
    switch (kind) {
    case CheckState::Kind::idle:
        return QStringLiteral("idle");
    case CheckState::Kind::checking:
        return QStringLiteral("checking");
    case CheckState::Kind::upToDate:
        return QStringLiteral("upToDate");
    case CheckState::Kind::updateAvailable:
        return QStringLiteral("updateAvailable");
    case CheckState::Kind::failed:
        break;
    }
    return QStringLiteral("failed");
}
