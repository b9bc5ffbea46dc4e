#include "services/NotificationCenter.h"

#include <QMutexLocker>

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, Observer observer)
{
    const QMutexLocker locker(&m_mutex);
    const Token token = m_nextToken++;
    m_registrations.push_back({token, name, std::make_shared<const Observer>(std::move(observer))});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    const QMutexLocker locker(&m_mutex);
    std::erase_if(m_registrations, [token](const Registration &r) { return r.token == token; });
}

void NotificationCenter::post(const QString &name, const QVariant &object)
{
    std::vector<Token> recipients;
    {
        const QMutexLocker locker(&m_mutex);
        for (const Registration &registration : m_registrations) {
            if (registration.name == name)
                recipients.push_back(registration.token);
        }
    }
    // The lock is not held while an observer runs, so an observer may post, add or remove.
    for (const Token token : recipients) {
        if (const auto observer = find(token))
            (*observer)(object);
    }
}

int NotificationCenter::observerCount(const QString &name) const
{
    const QMutexLocker locker(&m_mutex);
    return static_cast<int>(std::count_if(m_registrations.cbegin(), m_registrations.cend(),
                                          [&name](const Registration &r) { return r.name == name; }));
}

std::shared_ptr<const NotificationCenter::Observer> NotificationCenter::find(Token token) const
{
    const QMutexLocker locker(&m_mutex);
    const auto it = std::find_if(m_registrations.cbegin(), m_registrations.cend(),
                                 [token](const Registration &r) { return r.token == token; });
    return it == m_registrations.cend() ? nullptr : it->observer;
}
