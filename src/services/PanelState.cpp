#include "services/PanelState.h"

#include "platform/EnumText.h"

QString panelStateStoredValue(PanelState state)
{
    return enumeratorName(state);
}

PanelState panelStateFromStoredValue(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString() == QLatin1String("preferences"))
        return PanelState::preferences;
    return PanelState::main;
}
