#include "skinmenu.h"

#include "common/messages.h"
#include "configini.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QWidget>

#include <iterator>

namespace kc {

namespace {

struct Entry {
    const char *objectName;
    const char *caption;
    void (SkinMenu::*handler)();
};

const Entry kEntries[] = {
    {"pm2iTunes", "iTunes", &SkinMenu::pm2iTunesClick},
    {"pm2maxos", "macos", &SkinMenu::pm2maxosClick},
    {"pm2xp", "xpskin", &SkinMenu::pm2xpClick},
    {"pm2mxskin1", "mxskin1", &SkinMenu::pm2mxskin1Click},
    {"pm2mxskin2", "mxskin2", &SkinMenu::pm2mxskin2Click},
    {"pm2mxskin3", "mxskin3", &SkinMenu::pm2mxskin3Click},
    {"pm2mxskin4", "mxskin4", &SkinMenu::pm2mxskin4Click},
    {"pm2mxskin5", "mxskin5", &SkinMenu::pm2mxskin5Click},
    {"pm2mxskin6", "mxskin6", &SkinMenu::pm2mxskin6Click},
    {"pm2mxskin7", "mxskin7", &SkinMenu::pm2mxskin7Click},
    {"pm2mxskin8", "mxskin8", &SkinMenu::pm2mxskin8Click},
};

} // namespace

SkinMenu::SkinMenu(QWidget *window)
    : QObject(window)
    , m_pmSkin(new QMenu(window))
{
    m_pmSkin->setObjectName(QStringLiteral("pmSkin"));
    m_pmSkin->setAccessibleName(QStringLiteral("皮肤菜单"));
    for (const Entry &entry : kEntries) {
        auto *action = new QAction(QString::fromUtf8(entry.caption), m_pmSkin);
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, entry.handler);
        m_pmSkin->addAction(action);
        m_items.append(action);
    }
}

SkinMenu::~SkinMenu()
{
    // A menu made without a window has nobody else to delete it.
    if (m_pmSkin && !m_pmSkin->parent())
        delete m_pmSkin;
}

QAction *SkinMenu::item(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

int SkinMenu::checkedIndex() const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i)->isChecked())
            return i;
    }
    return -1;
}

bool SkinMenu::choose(int index)
{
    if (!item(index))
        return false;
    m_skinData.LoadFromCollection(m_skinStore, index);
    m_skinData.setActive(true);
    // Clicking the ticked entry unticks it before the handler runs; set every tick anew.
    for (int i = 0; i < m_items.size(); ++i)
        m_items.at(i)->setChecked(i == index);
    QString error;
    if (!WriteSkinIndex(index, &error)) {
        ShowPlain(error);
        return false;
    }
    return true;
}

void SkinMenu::RestoreSavedSkin()
{
    const int index = ReadSkinIndex();
    if (index >= 0 && index < int(std::size(kEntries)))
        (this->*kEntries[index].handler)();
}

void SkinMenu::btSkinClick()
{
    m_pmSkin->popup(QCursor::pos());
}

} // namespace kc
