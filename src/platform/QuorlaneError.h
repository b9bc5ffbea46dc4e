#pragma once

#include <QString>

#include <exception>
#include <string>

// Base of every error the store reports. `description()` is the user-facing text the panel
// shows and the command line prints.
class QuorlaneError : public std::exception
{
public:
    explicit QuorlaneError(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toStdString())
    {}
    [[nodiscard]] const QString &description() const { return m_description; }
    [[nodiscard]] const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_description;
    std::string m_utf8;
};

// A file could not be read, written, replaced or removed; the text names the file.
class FileSystemError : public QuorlaneError
{
public:
    using QuorlaneError::QuorlaneError;
};

// A task gave up waiting for something (the mutation lock, for instance).
class CancellationError : public QuorlaneError
{
public:
    CancellationError() : QuorlaneError(QStringLiteral("The operation was cancelled.")) {}
};
