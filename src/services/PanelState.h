#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// Which page the floating panel shows.
namespace PanelStates {
Q_NAMESPACE

enum class PanelState
{
    main,
    preferences,
};
Q_ENUM_NS(PanelState)

} // namespace PanelStates

using PanelState = PanelStates::PanelState;

// The text the store keeps: "main" or "preferences".
[[nodiscard]] QString panelStateStoredValue(PanelState state);

// Exactly the text "preferences" gives `preferences`; anything else, including another letter
// case, another type or no value, gives `main`.
[[nodiscard]] PanelState panelStateFromStoredValue(const QVariant &value);
