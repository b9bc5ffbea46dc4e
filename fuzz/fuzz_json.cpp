// The store's reader and writer against an independent reading of the same bytes: the store
// accepts exactly what the reference accepts, writes back every value the reference reads (last
// duplicate wins, integers of any length, lone surrogates kept), reads its own text back as the
// same values and the same bytes, and never holds more than a small multiple of the input.
#include "FuzzSupport.h"
#include "JsonReference.h"
#include "json/JsonDocument.h"
#include "json/JsonPrettyWriter.h"

#include <QByteArray>

// The tape takes two words per container and one per other value, the stack one word per open
// container, each at most doubled while growing: a byte of input never costs more than this.
constexpr long long kBytesPerInputByte = 32;
constexpr long long kFixedBytes = 64 << 10;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    std::optional<JsonDocument> document;
    const long long peak = FuzzSupport::peakAllocation([&] { document = JsonDocument::parse(input); });
    if (peak > kBytesPerInputByte * (long long)size + kFixedBytes)
        FuzzSupport::fail("the reader holds a small multiple of its input",
                          std::to_string(peak) + " bytes for " + std::to_string(size));

    const auto reference = JsonReference::parse(std::string_view(input.constData(), size));
    if (reference.tooDeep)
        return 0;
    if (document.has_value() != reference.value.has_value())
        FuzzSupport::fail("the reader accepts what the reference accepts",
                          document ? "store accepted, reference refused"
                                   : "store refused, reference accepted");
    if (!document)
        return 0;

    const auto written = JsonPrettyWriter::write(*document, {}, JsonPrettyWriter::defaultLimit(input.size()));
    if (!written)
        return 0; // so deeply nested that indenting it would pass the limit: refused, by design
    const auto reread =
        JsonReference::parse(std::string_view(written->constData(), std::size_t(written->size())));
    if (!reread.value)
        FuzzSupport::fail("the writer writes JSON", written->toStdString());
    if (!JsonReference::sameValue(*reference.value, *reread.value))
        FuzzSupport::fail("the writer keeps every value", JsonReference::describe(*reference.value) + "\n" +
                                                              JsonReference::describe(*reread.value));
    const auto again = JsonDocument::parse(*written);
    const auto rewritten =
        again ? JsonPrettyWriter::write(*again, {}, JsonPrettyWriter::defaultLimit(written->size()))
              : std::nullopt;
    if (rewritten != written)
        FuzzSupport::fail("written text reads back as itself", written->toStdString());
    return 0;
}
