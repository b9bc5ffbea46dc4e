#include "services/PanelState.h"

QString panelStateStoredValue(PanelState state)
{
    switch (state) {
    case PanelState::preferences:
        return QStringLiteral("preferences");
    case PanelState::main:
        break;
    }
    return QStringLiteral("main");
}

PanelState panelStateFromStoredValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString() == QLatin1String("preferences"))
        return PanelState::preferences;
    return PanelState::main;
}
