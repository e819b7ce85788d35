#include "trackbarseek.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QHash>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

namespace kc {

namespace {

QStyleOptionSlider SliderOption(const QSlider *slider)
{
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.subControls = QStyle::SC_All;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = slider->orientation();
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    if (slider->orientation() == Qt::Horizontal) {
        opt.state |= QStyle::State_Horizontal;
        opt.upsideDown = slider->invertedAppearance() != (opt.direction == Qt::RightToLeft);
    } else {
        opt.upsideDown = !slider->invertedAppearance();
    }
    return opt;
}

QHash<const QSlider *, std::function<void(int)>> &SeekHandlers()
{
    static QHash<const QSlider *, std::function<void(int)>> handlers;
    return handlers;
}

class SeekSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit SeekSliderAccessible(QSlider *slider)
        : QAccessibleWidget(slider, QAccessible::Slider)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(slider()->value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return slider()->value(); }
    QVariant maximumValue() const override { return slider()->maximum(); }
    QVariant minimumValue() const override { return slider()->minimum(); }
    QVariant minimumStepSize() const override { return slider()->singleStep(); }

    void setCurrentValue(const QVariant &value) override
    {
        const int v = qBound(slider()->minimum(), value.toInt(), slider()->maximum());
        const auto handler = SeekHandlers().value(slider());
        if (handler)
            handler(v);
        else
            slider()->setValue(v);
    }

private:
    QSlider *slider() const { return static_cast<QSlider *>(object()); }
};

QAccessibleInterface *SeekSliderFactory(const QString &, QObject *object)
{
    auto *slider = qobject_cast<QSlider *>(object);
    if (slider && SeekHandlers().contains(slider))
        return new SeekSliderAccessible(slider);
    return nullptr;
}

} // namespace

int SliderValueAt(const QSlider *slider, const QPoint &pos)
{
    const QStyleOptionSlider opt = SliderOption(slider);
    const QStyle *style = slider->style();
    const QRect groove = style->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, slider);
    const QRect handle = style->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    int length, first, last, at;
    if (slider->orientation() == Qt::Horizontal) {
        length = handle.width();
        first = groove.x();
        last = groove.right() - length + 1;
        at = pos.x() - length / 2;
    } else {
        length = handle.height();
        first = groove.y();
        last = groove.bottom() - length + 1;
        at = pos.y() - length / 2;
    }
    return QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), at - first, last - first,
                                           opt.upsideDown);
}

bool SliderHandleAt(const QSlider *slider, const QPoint &pos)
{
    const QStyleOptionSlider opt = SliderOption(slider);
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider).contains(pos);
}

void SetAccessibleSeek(QSlider *slider, std::function<void(int)> seek)
{
    static const bool installed = [] {
        QAccessible::installFactory(SeekSliderFactory);
        return true;
    }();
    Q_UNUSED(installed);
    SeekHandlers().insert(slider, std::move(seek));
    QObject::connect(slider, &QObject::destroyed, [slider] { SeekHandlers().remove(slider); });
    // An interface made before the handler existed would keep the plain slider's behaviour.
    if (QAccessibleInterface *existing = QAccessible::queryAccessibleInterface(slider)) {
        if (!dynamic_cast<SeekSliderAccessible *>(existing))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
    }
}

} // namespace kc
