#pragma once

#include <QByteArray>

// Swapping two directory entries in one step, so that neither name is ever missing and whatever
// was at either name is still there afterwards, under the other one.
namespace FileExchange {

// Exchanges the files at `first` and `second` (same file system). 0 on success, otherwise the
// errno value; ENOSYS, EINVAL or ENOTSUP when the system or file system cannot exchange.
[[nodiscard]] int exchange(const QByteArray &first, const QByteArray &second);

} // namespace FileExchange
