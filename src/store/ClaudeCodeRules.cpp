#include "store/ClaudeCodeRules.h"

#include "platform/EnumText.h"
#include "json/CodePointOrder.h"
#include "json/JsonValues.h"

#include <QRegularExpression>

namespace ClaudeCodeRules {

QString toString(Scope scope)
{
    return enumeratorName(scope);
}

QString toString(State state)
{
    return enumeratorName(state);
}

namespace {

QStringList stringItems(const nlohmann::json &object, const char *key)
{
    QStringList names;
    const auto list = object.find(key);
    if (list == object.end() || !list->is_array())
        return names;
    for (const auto &item : *list)
        if (item.is_string())
            names.append(JsonValues::toQString(item.get<std::string>()));
    return names;
}

bool isStdio(const MCPServerEntry &entry)
{
    return !entry.url && (!entry.type || *entry.type == QLatin1String("stdio"));
}

bool urlMatches(const QString &url, const QString &pattern)
{
    const QString expression =
        QRegularExpression::escape(pattern).replace(QStringLiteral("\\*"), QStringLiteral(".*"));
    return QRegularExpression(QRegularExpression::anchoredPattern(expression)).match(url).hasMatch();
}

int precedence(Scope scope)
{
    switch (scope) {
    case Scope::local:
        return 0;
    case Scope::project:
        return 1;
    case Scope::user:
        return 2;
    case Scope::managed:
        return 3;
    }
    return 4;
}

} // namespace

void ProjectApproval::addSettings(const nlohmann::json &settings)
{
    if (!settings.is_object())
        return;
    enabled += stringItems(settings, "enabledMcpjsonServers");
    rejected += stringItems(settings, "disabledMcpjsonServers");
    const auto all = settings.find("enableAllProjectMcpServers");
    enableAll = enableAll || (all != settings.end() && all->is_boolean() && all->get<bool>());
}

ProjectApproval::Answer ProjectApproval::answerFor(const QString &name) const
{
    if (rejected.contains(name))
        return Answer::rejected;
    return trusted && (enableAll || enabled.contains(name)) ? Answer::approved : Answer::pending;
}

ManagedPolicy::ManagedPolicy(const std::optional<nlohmann::json> &managedSettings, bool exclusive)
    : m_exclusive(exclusive)
{
    if (!managedSettings || !managedSettings->is_object())
        return;
    if (const auto denied = managedSettings->find("deniedMcpServers"); denied != managedSettings->end())
        m_denied = rules(*denied);
    if (const auto allowed = managedSettings->find("allowedMcpServers");
        allowed != managedSettings->end() && allowed->is_array())
        m_allowed = rules(*allowed);
}

QList<ManagedPolicy::Rule> ManagedPolicy::rules(const nlohmann::json &list)
{
    QList<Rule> found;
    if (!list.is_array())
        return found;
    for (const auto &item : list) {
        if (!item.is_object())
            continue;
        Rule rule;
        if (const auto name = item.find("serverName"); name != item.end() && name->is_string())
            rule.name = JsonValues::toQString(name->get<std::string>());
        if (const auto command = item.find("serverCommand"); command != item.end() && command->is_array())
            rule.command = stringItems(item, "serverCommand");
        if (const auto url = item.find("serverUrl"); url != item.end() && url->is_string())
            rule.url = JsonValues::toQString(url->get<std::string>());
        found.append(rule);
    }
    return found;
}

bool ManagedPolicy::matches(const Rule &rule, const MCPServerEntry &entry)
{
    if (rule.name)
        return *rule.name == entry.name;
    if (rule.command)
        return isStdio(entry) &&
               *rule.command == QStringList{entry.command} + entry.args.value_or(QStringList{});
    if (rule.url)
        return entry.url && urlMatches(*entry.url, *rule.url);
    return false;
}

bool ManagedPolicy::allows(const MCPServerEntry &entry, Scope scope) const
{
    if (m_exclusive && scope != Scope::managed)
        return false;
    for (const Rule &rule : m_denied)
        if (matches(rule, entry))
            return false;
    if (!m_allowed)
        return true;
    const bool stdio = isStdio(entry);
    const bool byCommand = stdio && std::any_of(m_allowed->cbegin(), m_allowed->cend(),
                                                [](const Rule &r) { return r.command.has_value(); });
    const bool byUrl =
        !stdio && entry.url &&
        std::any_of(m_allowed->cbegin(), m_allowed->cend(), [](const Rule &r) { return r.url.has_value(); });
    return std::any_of(m_allowed->cbegin(), m_allowed->cend(), [&](const Rule &rule) {
        if (byCommand)
            return rule.command && matches(rule, entry);
        if (byUrl)
            return rule.url && matches(rule, entry);
        return rule.name && matches(rule, entry);
    });
}

QList<ServerLoad> resolve(const FolderServers &servers, const ManagedPolicy &policy)
{
    QList<ServerLoad> loads;
    // A server gets its own state first; the ones still loading then compete by name.
    const auto add = [&](const MCPServerEntry &entry, Scope scope, bool offInQuorlane,
                         const QString &file = {}) {
        ServerLoad load{entry, scope, State::on, file};
        if (!policy.allows(entry, scope))
            load.state = State::offByPolicy;
        else if (offInQuorlane)
            load.state = State::off;
        else if (scope == Scope::project) {
            const auto answer = servers.approval.answerFor(entry.name);
            if (answer == ProjectApproval::Answer::rejected)
                load.state = State::offInClaudeCode;
            else if (answer == ProjectApproval::Answer::pending)
                load.state = State::awaitingApproval;
        }
        loads.append(std::move(load));
    };
    for (const MCPServerEntry &entry : servers.local)
        add(entry, Scope::local, servers.localOff.contains(entry.name));
    for (const auto &[entry, file] : servers.project)
        add(entry, Scope::project, servers.projectOff.contains(entry.name), file);
    for (const MCPServerEntry &entry : servers.user)
        add(entry, Scope::user, servers.userOff.contains(entry.name));
    for (const MCPServerEntry &entry : servers.managed)
        add(entry, Scope::managed, false);

    std::stable_sort(loads.begin(), loads.end(), [](const ServerLoad &a, const ServerLoad &b) {
        if (a.entry.name != b.entry.name)
            return codePointLess(a.entry.name, b.entry.name);
        return precedence(a.scope) < precedence(b.scope);
    });
    QString winnerName;
    bool hasWinner = false;
    for (ServerLoad &load : loads) {
        if (load.entry.name != winnerName) {
            winnerName = load.entry.name;
            hasWinner = false;
        }
        if (load.state != State::on)
            continue;
        if (hasWinner)
            load.state = State::shadowed;
        else {
            hasWinner = true;
            if (servers.offInClaudeCode.contains(load.entry.name))
                load.state = State::offInClaudeCode;
        }
    }
    return loads;
}

} // namespace ClaudeCodeRules
