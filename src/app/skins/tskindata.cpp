#include "tskindata.h"

#include "tskinstore.h"

#include <QApplication>

namespace kc {

namespace {
QApplication *application()
{
    return qobject_cast<QApplication *>(QCoreApplication::instance());
}
} // namespace

TSkinData::TSkinData(bool active)
{
    const TSkinStore builtIn;
    m_skinSheet = builtIn.StyleSheet(kBuiltInStoreItem);
    m_skinName = builtIn.SkinName(kBuiltInStoreItem);
    setActive(active);
}

bool TSkinData::LoadFromCollection(const TSkinStore &store, int index)
{
    const QString sheet = store.StyleSheet(index);
    if (sheet.isEmpty())
        return false;
    m_skinSheet = sheet;
    m_skinName = store.SkinName(index);
    if (m_active)
        apply();
    return true;
}

void TSkinData::setActive(bool active)
{
    m_active = active;
    if (active) {
        apply();
        return;
    }
    // Only take off what this skin data put on.
    QApplication *app = application();
    if (app && !m_appliedSheet.isEmpty() && app->styleSheet() == m_appliedSheet)
        app->setStyleSheet(QString());
    m_appliedSheet.clear();
}

void TSkinData::setDisableTag(int tag)
{
    m_disableTag = tag;
    if (m_active)
        apply();
}

QString TSkinData::StyleSheet() const
{
    return m_skinSheet + QLatin1Char('\n') + TSkinStore::FixedLook(m_disableTag);
}

void TSkinData::apply()
{
    QApplication *app = application();
    if (!app)
        return;
    const QString sheet = StyleSheet();
    // Setting a sheet re-polishes every widget of the program; the same sheet again
    // would change nothing on screen.
    if (app->styleSheet() != sheet)
        app->setStyleSheet(sheet);
    m_appliedSheet = sheet;
}

} // namespace kc
