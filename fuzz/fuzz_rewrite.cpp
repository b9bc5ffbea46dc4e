// A switch through the live-file rewrite and the stash: switching the first server of
// "mcpServers" off leaves every other value of the file as the reference reads it, and
// switching it back on (its definition through the stash's text) gives the whole file back,
// value for value.
#include "FuzzSupport.h"
#include "JsonReference.h"
#include "platform/QuorlaneError.h"
#include "store/ConfigFormats.h"
#include "store/UntypedRewrite.h"

namespace {

using JsonReference::Value;

Value read(const QByteArray &text)
{
    auto result = JsonReference::parse(std::string_view(text.constData(), std::size_t(text.size())));
    if (!result.value)
        FuzzSupport::fail("the rewrite writes JSON", text.toStdString());
    return std::move(*result.value);
}

void check(const char *property, const Value &expected, const Value &actual)
{
    if (!JsonReference::sameValue(expected, actual))
        FuzzSupport::fail(property,
                          JsonReference::describe(expected) + "\n" + JsonReference::describe(actual));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    auto live = UntypedRewrite::parse(input);
    const auto servers = live ? live->member("mcpServers") : std::nullopt;
    if (!servers || live->document().kind(*servers) != JsonDocument::Kind::object ||
        live->document().isEmpty(*servers))
        return 0;
    const auto reference = JsonReference::parse(std::string_view(input.constData(), size));
    if (!reference.value)
        return 0; // too deep for the reference; the reader is held to it by fuzz_json
    std::string name;
    live->document().forEachMember(*servers, [&](JsonDocument::Index key, JsonDocument::Index) {
        if (name.empty())
            name = live->document().string(key);
    });
    const std::vector<std::string> path{"mcpServers", name};
    const auto definition =
        RawJSON::fromDocument(live->document(), *live->find(path), RawJSON::Numbers::byForm);
    if (!definition)
        return 0; // nested deeper than a definition may be: refused with a message
    try {
        live->remove(path);
        const QByteArray off = live->text(QStringLiteral("live"));
        Value expected = *reference.value;
        for (auto &[key, member] : expected.members)
            if (key == "mcpServers")
                std::erase_if(member.members, [&](const auto &server) { return server.first == name; });
        check("switching off changes nothing else", expected, read(off));

        DisabledGlobalConfig stash;
        stash.global.emplace(name, *definition);
        const auto stashed = DisabledGlobalConfig::decode(stash.encode());
        if (!stashed || stashed->global.size() != 1 || stashed->global.begin()->first != name)
            FuzzSupport::fail("the stash reads back what it wrote", stash.encode().toStdString());
        auto again = UntypedRewrite::parse(off);
        again->set(path, stashed->global.begin()->second);
        check("switching off and on gives the file back", *reference.value,
              read(again->text(QStringLiteral("live"))));
    } catch (const FileSystemError &) {
        // Indented, it would grow past the writer's limit: nothing is written then.
    }
    return 0;
}
