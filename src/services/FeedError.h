#pragma once

#include "platform/QuorlaneError.h"

#include <stdexcept>

// What can be wrong with the update feed's answer; each case has a fixed user-facing message.
class FeedError : public QuorlaneError
{
public:
    enum class Kind
    {
        httpStatus,
        invalidResponse,
        missingVersion,
        invalidVersion,
    };

    static FeedError httpStatus(int statusCode) { return FeedError(Kind::httpStatus, statusCode); }
    static FeedError invalidResponse() { return FeedError(Kind::invalidResponse); }
    static FeedError missingVersion() { return FeedError(Kind::missingVersion); }
    static FeedError invalidVersion() { return FeedError(Kind::invalidVersion); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The HTTP status of an `httpStatus` error; 0 for the others.
    [[nodiscard]] int statusCode() const { return m_statusCode; }

    [[nodiscard]] static QString message(Kind kind)
    {
        switch (kind) {
        case Kind::httpStatus:
            return QStringLiteral("Could not check for updates.");
        case Kind::invalidResponse:
            return QStringLiteral("Invalid update response.");
        case Kind::missingVersion:
        case Kind::invalidVersion:
            break;
        }
        return QStringLiteral("Invalid update feed.");
    }

private:
    explicit FeedError(Kind kind, int statusCode = 0)
        : QuorlaneError(message(kind)), m_kind(kind), m_statusCode(statusCode)
    {}

    Kind m_kind;
    int m_statusCode;
};

// The feed's body is not JSON. Carries the parser's own text, which is not meant for the user.
class FeedJsonError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
