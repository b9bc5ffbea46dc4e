#pragma once

#include <QObject>
#include <QString>

// The published outcome of the update check. Two states are equal when they are the same case
// and, for `failed`, carry the same message.
struct CheckState
{
    Q_GADGET
    Q_PROPERTY(Kind kind MEMBER kind)
    Q_PROPERTY(QString message MEMBER message)

public:
    enum class Kind
    {
        idle,
        checking,
        upToDate,
        updateAvailable,
        failed,
    };
    Q_ENUM(Kind)

    Kind kind = Kind::idle;
    // The user-facing text of a `failed` state; empty otherwise.
    QString message;

    CheckState() = default;
    explicit CheckState(Kind kind, QString message = {})
        : kind(kind), message(kind == Kind::failed ? std::move(message) : QString())
    {}

    friend bool operator==(const CheckState &a, const CheckState &b)
    {
        return a.kind == b.kind && (a.kind != Kind::failed || a.message == b.message);
    }
};

// The case's name as the command line prints it: "idle", "checking", "upToDate", …
[[nodiscard]] QString checkStateName(CheckState::Kind kind);
