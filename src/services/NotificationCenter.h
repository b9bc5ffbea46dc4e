#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

// The application's in-process channel of named notifications. A post is delivered
// synchronously, on the posting thread, to every observer registered for its name at the
// moment of the post; an observer added while a post is being delivered waits for the next one,
// and one removed meanwhile is not called again. Safe to use from any thread.
class NotificationCenter
{
public:
    using Observer = std::function<void(const QVariant &object)>;
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    [[nodiscard]] Token addObserver(const QString &name, Observer observer);
    void removeObserver(Token token);
    void post(const QString &name, const QVariant &object);

    [[nodiscard]] int observerCount(const QString &name) const;

private:
    struct Registration
    {
        Token token;
        QString name;
        std::shared_ptr<const Observer> observer;
    };

    [[nodiscard]] std::shared_ptr<const Observer> find(Token token) const;

    mutable QMutex m_mutex;
    std::vector<Registration> m_registrations;
    Token m_nextToken = 1;
};
