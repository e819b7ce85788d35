#pragma once

#include <QPoint>
#include <functional>

class QSlider;

namespace kc {

// The value of a slider under a point, found the way the slider's own style places its
// handle (skins included): the point is taken as the new centre of the handle.
int SliderValueAt(const QSlider *slider, const QPoint &pos);
// Whether the point lies on the slider's handle.
bool SliderHandleAt(const QSlider *slider, const QPoint &pos);

// Gives the slider an accessible interface whose value, when assistive technology sets it,
// goes to seek (as a user's drag would) instead of only moving the thumb. The slider keeps
// its name, role and value range on the accessibility tree.
void SetAccessibleSeek(QSlider *slider, std::function<void(int)> seek);

} // namespace kc
