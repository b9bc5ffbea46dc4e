#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <string_view>

// UTF-8 to text keeping every character. QString::fromUtf8 drops a byte-order mark at the
// start, which would turn a server named "\uFEFFgithub" into "github" and switch the wrong one.
[[nodiscard]] inline QString textFromUtf8(QByteArrayView utf8)
{
    if (!utf8.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(utf8);
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(utf8);
}

[[nodiscard]] inline QString textFromUtf8(std::string_view utf8)
{
    return textFromUtf8(QByteArrayView(utf8.data(), qsizetype(utf8.size())));
}
