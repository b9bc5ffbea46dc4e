#include "platform/FileExchange.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace FileExchange {

int exchange(const QByteArray &first, const QByteArray &second)
{
    // Called through syscall(): older C libraries have no renameat2 wrapper.
    if (::syscall(SYS_renameat2, AT_FDCWD, first.constData(), AT_FDCWD, second.constData(),
                  RENAME_EXCHANGE) == 0)
        return 0;
    return errno;
}

} // namespace FileExchange
