// The decoders of Quorlane's own files: the stash and a project's record. Whatever they accept
// they write back so that it decodes to the same record, and every stashed definition holds
// the values the reference reads in the input.
#include "FuzzSupport.h"
#include "JsonReference.h"
#include "store/ConfigFormats.h"
#include "store/QuorlaneProjectConfig.h"

namespace {

using JsonReference::Value;

const Value *memberOf(const Value &object, const std::string &key)
{
    for (const auto &[name, member] : object.members)
        if (name == key)
            return &member;
    return nullptr;
}

Value read(const std::string &text)
{
    auto result = JsonReference::parse(text);
    if (!result.value)
        FuzzSupport::fail("a definition's text is JSON", text);
    return std::move(*result.value);
}

void checkDefinition(const Value *expected, const RawJSON &definition)
{
    if (!expected)
        FuzzSupport::fail("a decoded definition was in the input", definition.text());
    const Value actual = read(definition.text());
    if (!JsonReference::sameValue(*expected, actual))
        FuzzSupport::fail("a definition keeps every value",
                          JsonReference::describe(*expected) + "\n" + JsonReference::describe(actual));
}

void checkStash(const QByteArray &input, const std::optional<Value> &reference)
{
    const auto stash = DisabledGlobalConfig::decode(input);
    if (!stash)
        return;
    if (!reference)
        FuzzSupport::fail("the stash decoder reads only JSON", input.toStdString());
    for (const auto &[bucketName, bucket] :
         {std::pair{"global", &stash->global}, {"desktop", &stash->desktop}})
        for (const auto &[name, definition] : *bucket) {
            const Value *entries = memberOf(*reference, bucketName);
            checkDefinition(entries ? memberOf(*entries, name) : nullptr, definition);
        }
    const QByteArray written = stash->encode();
    const auto again = DisabledGlobalConfig::decode(written);
    if (!again || *again != *stash || again->encode() != written)
        FuzzSupport::fail("the stash reads back as written", written.toStdString());
}

void checkRecord(const QByteArray &input, const std::optional<Value> &reference)
{
    const auto record = QuorlaneProjectConfig::decode(input);
    if (!record)
        return;
    if (!reference)
        FuzzSupport::fail("the record decoder reads only JSON", input.toStdString());
    const Value *configs = memberOf(*reference, "stashedConfigs");
    for (auto it = record->stashedConfigs.cbegin(); it != record->stashedConfigs.cend(); ++it)
        if (!it.key().contains(
                QChar::ReplacementCharacter)) // a name with a lone surrogate is not kept exactly
            checkDefinition(configs ? memberOf(*configs, it.key().toStdString()) : nullptr, it->definition);
    const QByteArray written = record->encode();
    const auto again = QuorlaneProjectConfig::decode(written);
    if (!again || *again != *record || again->encode() != written)
        FuzzSupport::fail("the record reads back as written", written.toStdString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto reference = JsonReference::parse(std::string_view(input.constData(), size));
    if (reference.tooDeep)
        return 0;
    checkStash(input, reference.value);
    checkRecord(input, reference.value);
    return 0;
}
