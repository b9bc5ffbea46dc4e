#include "json/JsonEdits.h"

#include "platform/QuorlaneError.h"

JsonEdits::Node &JsonEdits::walk(const std::vector<std::string> &path, bool creates)
{
    Node *node = &m_root;
    node->creates = node->creates || creates;
    for (const std::string &key : path) {
        node = &node->children[key];
        node->creates = node->creates || creates;
    }
    return *node;
}

void JsonEdits::set(const std::vector<std::string> &path, const RawJSON &value)
{
    // The value goes through its own compact text, so the writer treats it like any other part
    // of a document (and writes its numbers and strings the same way).
    const std::string text = value.text();
    auto document = JsonDocument::parse(QByteArray(text.data(), qsizetype(text.size())));
    if (!document) // only a string built by code can hold bytes that are not UTF-8
        throw QuorlaneError(QStringLiteral("A value to be written holds text that is not UTF-8."));
    Node &node = walk(path, true);
    node.action = Node::Action::set;
    node.value = std::make_shared<const JsonDocument>(std::move(*document));
    node.children.clear();
}

void JsonEdits::remove(const std::vector<std::string> &path)
{
    Node &node = walk(path, false);
    node.action = Node::Action::remove;
    node.value.reset();
    node.children.clear();
}
