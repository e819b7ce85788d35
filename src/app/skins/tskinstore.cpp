#include "tskinstore.h"

#include <QFile>
#include <QStringList>

// Resources of a static library are registered only when asked for by name.
static void initSkinResources()
{
    Q_INIT_RESOURCE(skins);
}

namespace kc {

namespace {

const QStringList &skinNames()
{
    static const QStringList names = {
#include "skinnames.inc"
    };
    return names;
}

QString readResource(const QString &path)
{
    static const bool registered = (initSkinResources(), true);
    Q_UNUSED(registered);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    return QString::fromUtf8(file.readAll());
}

} // namespace

TSkinStore::TSkinStore() = default;

int TSkinStore::Count() const
{
    return int(skinNames().size());
}

QString TSkinStore::ItemName(int index) const
{
    return Contains(index) ? QStringLiteral("SkinItem%1").arg(index) : QString();
}

QString TSkinStore::SkinName(int index) const
{
    return Contains(index) ? skinNames().at(index) : QString();
}

QString TSkinStore::StyleSheet(int index) const
{
    if (!Contains(index))
        return QString();
    return readResource(QStringLiteral(":/kestrelcut/skins/%1.qss").arg(ItemName(index)));
}

QString TSkinStore::FixedLook(int tag)
{
    QString rules = readResource(QStringLiteral(":/kestrelcut/skins/fixedlook.qss"));
    rules.replace(QStringLiteral("@TAG@"), QString::number(tag));
    return rules;
}

} // namespace kc
