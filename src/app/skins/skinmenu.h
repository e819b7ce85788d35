#pragma once

#include "tskindata.h"
#include "tskinstore.h"

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace kc {

// The skin choice of the main window: the skin store and skin data, the pop-up menu
// pmSkin with its eleven entries, the Skin button's handler and the restore at start-up.
class SkinMenu : public QObject
{
    Q_OBJECT
public:
    // The skin data starts active, so the built-in skin ("xpskin") is on from here on.
    explicit SkinMenu(QWidget *window);
    ~SkinMenu() override;

    QMenu *pmSkin() const { return m_pmSkin; }
    // The entry of row index (pm2iTunes .. pm2mxskin8), or nullptr.
    QAction *item(int index) const;
    int itemCount() const { return int(m_items.size()); }
    // The ticked entry's row, or -1 while none is ticked.
    int checkedIndex() const;

    TSkinStore &SkinStore() { return m_skinStore; }
    TSkinData &SkinData() { return m_skinData; }

    // Choosing skin index: load and apply it, tick its entry alone, store the index. A
    // failed write is reported in the plain box and returns false; the skin stays applied
    // and ticked. An index outside the menu does nothing and returns false.
    bool choose(int index);

    // The creation step's restore: a stored index from 0 to 10 is chosen as if by the
    // user; any other value changes nothing (no tick, built-in skin, file untouched).
    void RestoreSavedSkin();

public slots:
    // The Skin button: pops the menu up at the mouse cursor.
    void btSkinClick();

    void pm2iTunesClick() { choose(0); }
    void pm2maxosClick() { choose(1); }
    void pm2xpClick() { choose(2); }
    void pm2mxskin1Click() { choose(3); }
    void pm2mxskin2Click() { choose(4); }
    void pm2mxskin3Click() { choose(5); }
    void pm2mxskin4Click() { choose(6); }
    void pm2mxskin5Click() { choose(7); }
    void pm2mxskin6Click() { choose(8); }
    void pm2mxskin7Click() { choose(9); }
    void pm2mxskin8Click() { choose(10); }

private:
    TSkinStore m_skinStore;
    TSkinData m_skinData;
    QPointer<QMenu> m_pmSkin;
    QList<QAction *> m_items;
};

} // namespace kc
