#pragma once

#include <QMetaEnum>
#include <QString>

// The name of `value`'s enumerator, for an enum declared with Q_ENUM or Q_ENUM_NS; empty for a
// value no enumerator has.
template<typename Enum> [[nodiscard]] QString enumeratorName(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
}
