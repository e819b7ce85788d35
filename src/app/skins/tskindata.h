#pragma once

#include <QString>

namespace kc {

class TSkinStore;

// Applies one skin to the whole application (both windows and every dialog), through the
// application's style sheet. Controls whose dynamic property "tag" equals DisableTag keep
// a fixed look of their own under every skin.
class TSkinData
{
public:
    static constexpr int kBuiltInStoreItem = 2; // "xpskin"
    static constexpr int kDefaultDisableTag = 99;

    // Starts with the built-in skin, the same as the store's item kBuiltInStoreItem; when
    // active it is applied at once, so the windows are skinned from the moment they exist.
    explicit TSkinData(bool active = true);

    // Loads skin number index (0-based) of the store; while active it is applied at once.
    // An index outside the store (or a missing sheet) changes nothing and returns false.
    bool LoadFromCollection(const TSkinStore &store, int index);

    // true applies the loaded skin; false takes it off the application again.
    void setActive(bool active);
    bool Active() const { return m_active; }

    int DisableTag() const { return m_disableTag; }
    void setDisableTag(int tag);

    // The loaded skin's name ("xpskin" at start).
    QString SkinName() const { return m_skinName; }
    // The whole sheet the application gets while active: the skin, then the fixed look.
    QString StyleSheet() const;

private:
    void apply();

    QString m_skinSheet;
    QString m_skinName;
    QString m_appliedSheet;
    int m_disableTag = kDefaultDisableTag;
    bool m_active = false;
};

} // namespace kc
