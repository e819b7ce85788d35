#pragma once

#include <QString>

namespace kc {

// The one persistent setting: the index of the chosen skin, section "Config", key "Skin".

// Skin index used when the file, the section or the key is missing or the value is not
// a whole number.
constexpr int kDefaultSkinIndex = 9;

// Where Config.ini lives: beside the program when the program folder is writable, else in
// the user's configuration folder (an install under a system prefix), so that the setting
// still sticks and no error shows at every start. Worked out afresh on every call; reads
// and writes use the same rule, so a write is always read back.
QString ConfigIniPath();

// The stored skin index, or kDefaultSkinIndex.
int ReadSkinIndex();

// Stores the index at once. On failure returns false with *error (if given) set to
// "Unable to write to " + the file's path; other sections and keys of the file are kept.
bool WriteSkinIndex(int index, QString *error = nullptr);

} // namespace kc
