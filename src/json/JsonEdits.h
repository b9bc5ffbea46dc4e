#pragma once

#include "json/JsonDocument.h"
#include "json/RawJSON.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The changes an untyped rewrite makes to a parsed document: members set or removed at paths of
// object keys. Only the objects on those paths are rebuilt by the writer; everything else is
// written from the document as it was read.
class JsonEdits
{
public:
    struct Node
    {
        enum class Action
        {
            descend,
            set,
            remove
        };
        Action action = Action::descend;
        std::shared_ptr<const JsonDocument> value; // for set: its root is the new value
        std::map<std::string, Node, std::less<>> children;
        bool creates = false; // a set lies at or below: missing or non-object objects on the way become {}
    };

    // Sets the member at `path` (the last key names it). Objects on the way that are missing, or
    // are not objects, become objects, as an edit of the generic tree (`parent[key]`) would.
    void set(const std::vector<std::string> &path, const RawJSON &value);
    // Removes the member at `path`, when every object on the way exists.
    void remove(const std::vector<std::string> &path);

    [[nodiscard]] const Node &root() const { return m_root; }

private:
    Node &walk(const std::vector<std::string> &path, bool creates);

    Node m_root;
};
