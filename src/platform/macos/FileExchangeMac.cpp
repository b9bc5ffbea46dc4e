#include "platform/FileExchange.h"

#include <cerrno>
#include <stdio.h>

namespace FileExchange {

int exchange(const QByteArray &first, const QByteArray &second)
{
    if (::renamex_np(first.constData(), second.constData(), RENAME_SWAP) == 0)
        return 0;
    return errno;
}

} // namespace FileExchange
