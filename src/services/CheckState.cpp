#include "services/CheckState.h"

#include "platform/EnumText.h"

QString checkStateName(CheckState::Kind kind)
{
    return enumeratorName(kind);
}
