#include "platform/PreferenceStore.h"

#include "platform/PlatformPreferenceStore.h"

#include <QThreadPool>

namespace PreferenceStore {
namespace {

// One thread, so writes land in the order they were asked for. Never destroyed: a write may be
// asked for while the process shuts down; waitForWrites is how a caller makes sure of it.
QThreadPool &writer()
{
    static QThreadPool *const pool = [] {
        auto *created = new QThreadPool;
        created->setMaxThreadCount(1);
        return created;
    }();
    return *pool;
}

QString writeTo(QSettings &store, QAnyStringView key, const QVariant &value)
{
    if (QString why = PlatformPreferenceStore::problem(); !why.isEmpty())
        return why;
    store.setValue(key, value);
    store.sync();
    switch (store.status()) {
    case QSettings::NoError:
        return {};
    case QSettings::FormatError:
        return QStringLiteral("%1 could not be read as preferences").arg(store.fileName());
    case QSettings::AccessError:
        break;
    }
    return QStringLiteral("%1 could not be written").arg(store.fileName());
}

} // namespace

std::unique_ptr<QSettings> open()
{
    return PlatformPreferenceStore::locate()();
}

QString problem()
{
    return PlatformPreferenceStore::problem();
}

QString write(QAnyStringView key, const QVariant &value)
{
    return writeTo(*open(), key, value);
}

void writeLater(QAnyStringView key, const QVariant &value)
{
    writer().start([openStore = PlatformPreferenceStore::locate(), key = key.toString(), value] {
        writeTo(*openStore(), key, value);
    });
}

void waitForWrites()
{
    writer().waitForDone();
}

std::optional<QStringList> stringList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() != QMetaType::QVariantList)
        return std::nullopt;
    QStringList result;
    for (const QVariant &element : value.toList()) {
        if (element.typeId() != QMetaType::QString)
            return std::nullopt;
        result.append(element.toString());
    }
    return result;
}

QStringList excludedPaths()
{
    return stringList(open()->value(QStringLiteral("pref_excludedPaths"))).value_or(QStringList{});
}

} // namespace PreferenceStore
