#include "sessions/ProcessSource.h"

ProcessTable processTable(const QList<ProcessInfo> &processes)
{
    ProcessTable table;
    table.reserve(processes.size());
    for (const ProcessInfo &process : processes)
        table.insert(process.pid, process);
    return table;
}
