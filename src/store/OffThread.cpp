#include "store/OffThread.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPointer>
#include <QThreadPool>

QThreadPool *OffThread::pool()
{
    static QMutex mutex;
    static QPointer<QThreadPool> workers;
    const QMutexLocker locker(&mutex);
    if (!workers)
        workers = new QThreadPool(QCoreApplication::instance());
    return workers;
}
