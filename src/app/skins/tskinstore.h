#pragma once

#include <QString>

namespace kc {

// The skins kept inside the program: items "SkinItem0" to "SkinItem10", each one Qt style
// sheet compiled in as a resource. The index is the skin menu's order and the number
// stored in Config.ini.
class TSkinStore
{
public:
    TSkinStore();

    int Count() const;
    bool Contains(int index) const { return index >= 0 && index < Count(); }

    // "SkinItem<index>"; empty outside the store.
    QString ItemName(int index) const;
    // The skin's own name, as the skin menu shows it ("iTunes", "macos", "xpskin",
    // "mxskin1".."mxskin8"); empty outside the store.
    QString SkinName(int index) const;
    // The style sheet of the item; empty outside the store or if the resource is missing.
    QString StyleSheet(int index) const;

    // The rules that give controls tagged with tag their own fixed look, meant to follow
    // a skin's sheet.
    static QString FixedLook(int tag);
};

} // namespace kc
