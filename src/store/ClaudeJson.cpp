#include "store/ClaudeJson.h"

#include "platform/Utf8Text.h"
#include "store/ConfigFormats.h"
#include "json/JsonDocument.h"

#include <QHash>

#include <algorithm>

#include <nlohmann/json.hpp>

// The file can be tens of megabytes of Claude Code's own state while the view needs two small
// members: the document is indexed once without building a tree, and only the seven known
// members of each definition are read from it.
namespace {

using Index = JsonDocument::Index;
using Kind = JsonDocument::Kind;

// A present, non-null "mcpServers" member must be a map of valid definitions.
bool readServers(const JsonDocument &document, Index object, std::optional<MCPServerMap> &servers)
{
    const auto member = document.member(object, "mcpServers");
    if (!member || document.kind(*member) == Kind::null)
        return true;
    servers = decodeServerMap(document, *member);
    return servers.has_value();
}

// Project path → value, in the order of the file; a duplicated path keeps its first place and
// its last value, as in JSON.parse.
QList<std::pair<QString, Index>> projectMembers(const JsonDocument &document, Index projects)
{
    QList<std::pair<QString, Index>> members;
    QHash<QString, qsizetype> seen;
    std::string scratch;
    document.forEachMember(projects, [&](Index key, Index value) {
        const std::string_view path = document.string(key, scratch);
        QString qpath = textFromUtf8(std::string_view(path.data(), path.size()));
        const auto at = seen.constFind(qpath);
        if (at != seen.cend()) {
            members[*at].second = value;
            return;
        }
        seen.insert(qpath, members.size());
        members.append({std::move(qpath), value});
    });
    return members;
}

// The texts of a list member of a project (the names the user turned off with /mcp there, or
// approved or rejected of the folder's .mcp.json); other elements are passed over.
QStringList readNames(const JsonDocument &document, Index project, std::string_view key)
{
    QStringList names;
    const auto list = document.member(project, key);
    if (!list || document.kind(*list) != Kind::array)
        return names;
    document.forEachElement(*list, [&](Index item) {
        if (document.kind(item) == Kind::string)
            names.append(textFromUtf8(std::string_view(document.string(item))));
    });
    return names;
}

// Only a real true counts: "true" as text or 1 approves nothing.
bool isTrue(const JsonDocument &document, Index project, std::string_view key)
{
    const auto flag = document.member(project, key);
    return flag && document.kind(*flag) == Kind::boolean && document.boolean(*flag);
}

ClaudeCodeRules::ProjectApproval readApproval(const JsonDocument &document, Index project)
{
    return {isTrue(document, project, "hasTrustDialogAccepted"),
            isTrue(document, project, "enableAllProjectMcpServers"),
            readNames(document, project, "enabledMcpjsonServers"),
            readNames(document, project, "disabledMcpjsonServers")};
}

} // namespace

std::optional<MCPServerMap> decodeServerMap(const JsonDocument &document, Index object)
{
    if (document.kind(object) != Kind::object)
        return std::nullopt;
    // Only the last of duplicated names counts, even when an earlier one would not decode.
    std::map<std::string, Index> definitions;
    std::string scratch;
    document.forEachMember(object, [&](Index name, Index definition) {
        definitions.insert_or_assign(std::string(document.string(name, scratch)), definition);
    });
    MCPServerMap servers;
    for (const auto &[name, definition] : definitions) {
        auto raw = MCPServerRaw::decode(document, definition);
        if (!raw)
            return std::nullopt;
        servers.insert(textFromUtf8(std::string_view(name)), std::move(*raw));
    }
    return servers;
}

std::optional<ClaudeJson> ClaudeJson::decode(const QByteArray &bytes)
{
    const auto document = JsonDocument::parse(bytes);
    return document ? decode(*document) : std::nullopt;
}

std::optional<ClaudeJson> ClaudeJson::decode(const JsonDocument &document)
{
    const Index root = JsonDocument::root();
    if (document.kind(root) != Kind::object)
        return std::nullopt;
    ClaudeJson view;
    if (!readServers(document, root, view.mcpServers))
        return std::nullopt;
    const auto projects = document.member(root, "projects");
    if (!projects || document.kind(*projects) == Kind::null)
        return view;
    if (document.kind(*projects) != Kind::object)
        return std::nullopt;
    view.projects.emplace();
    const auto members = projectMembers(document, *projects);
    view.projects->reserve(members.size());
    for (const auto &[path, value] : members) {
        if (document.kind(value) != Kind::object)
            return std::nullopt;
        ClaudeJsonProject project;
        if (!readServers(document, value, project.mcpServers))
            return std::nullopt;
        project.disabledMcpServers = readNames(document, value, "disabledMcpServers");
        project.approval = readApproval(document, value);
        view.projects->append({path, std::move(project)});
    }
    return view;
}

namespace {

// A set definition that does not decode leaves the file unreadable as a whole.
bool switchIn(MCPServerMap &servers, const QString &name, const std::optional<RawJSON> &definition)
{
    if (!definition) {
        servers.remove(name);
        return true;
    }
    auto raw = MCPServerRaw::decode(definition->toGeneric());
    if (!raw)
        return false;
    servers.insert(name, std::move(*raw));
    return true;
}

} // namespace

bool applySwitch(std::optional<MCPServerMap> &servers, const QString &name,
                 const std::optional<RawJSON> &definition)
{
    if (!servers)
        return false;
    if (!switchIn(*servers, name, definition))
        servers.reset();
    return true;
}

bool ClaudeJson::applySwitch(std::optional<ClaudeJson> &view, const QString &projectPath, const QString &name,
                             const std::optional<RawJSON> &definition)
{
    if (!view)
        return false;
    std::optional<MCPServerMap> *servers = &view->mcpServers;
    if (!projectPath.isEmpty()) {
        // A missing "projects", project or "mcpServers" is made by a set, and a removal has
        // nothing to remove there.
        auto &projects = view->projects;
        if (!projects)
            projects.emplace();
        auto at = std::find_if(projects->begin(), projects->end(),
                               [&](const auto &project) { return project.first == projectPath; });
        if (at == projects->end()) {
            if (!definition)
                return true;
            projects->append({projectPath, ClaudeJsonProject{}});
            at = std::prev(projects->end());
        }
        servers = &at->second.mcpServers;
    }
    if (!*servers) {
        if (!definition)
            return true;
        servers->emplace();
    }
    if (!switchIn(**servers, name, definition))
        view.reset();
    return true;
}
