#pragma once

#include "platform/Utf8Text.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <optional>

// Strict conversions between nlohmann::json and the Qt value types of the records: a value of
// another JSON type is a failure, never a silent default.
namespace JsonValues {

inline QString toQString(const std::string &utf8)
{
    return textFromUtf8(std::string_view(utf8));
}

inline std::string toStd(const QString &text)
{
    return text.toStdString();
}

template<typename T> std::optional<T> as(const nlohmann::json &value);

template<> inline std::optional<QString> as<QString>(const nlohmann::json &value)
{
    if (!value.is_string())
        return std::nullopt;
    return toQString(value.get_ref<const std::string &>());
}

template<> inline std::optional<bool> as<bool>(const nlohmann::json &value)
{
    if (!value.is_boolean())
        return std::nullopt;
    return value.get<bool>();
}

template<> inline std::optional<double> as<double>(const nlohmann::json &value)
{
    if (!value.is_number())
        return std::nullopt;
    return value.get<double>();
}

template<> inline std::optional<QStringList> as<QStringList>(const nlohmann::json &value)
{
    if (!value.is_array())
        return std::nullopt;
    QStringList list;
    list.reserve(qsizetype(value.size()));
    for (const auto &element : value) {
        if (!element.is_string())
            return std::nullopt;
        list.append(toQString(element.get_ref<const std::string &>()));
    }
    return list;
}

template<>
inline std::optional<QMap<QString, QString>> as<QMap<QString, QString>>(const nlohmann::json &value)
{
    if (!value.is_object())
        return std::nullopt;
    QMap<QString, QString> map;
    for (const auto &[key, member] : value.items()) {
        if (!member.is_string())
            return std::nullopt;
        map.insert(toQString(key), toQString(member.get_ref<const std::string &>()));
    }
    return map;
}

inline nlohmann::json toJson(const QString &text)
{
    return toStd(text);
}

inline nlohmann::json toJson(bool value)
{
    return value;
}

inline nlohmann::json toJson(const QStringList &list)
{
    nlohmann::json array = nlohmann::json::array();
    for (const QString &element : list)
        array.push_back(toStd(element));
    return array;
}

inline nlohmann::json toJson(const QMap<QString, QString> &map)
{
    nlohmann::json object = nlohmann::json::object();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        object[toStd(it.key())] = toStd(it.value());
    return object;
}

} // namespace JsonValues
