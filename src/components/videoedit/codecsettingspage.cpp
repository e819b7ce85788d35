#include "codecsettingspage.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

namespace kc {

CodecSettingsPage::CodecSettingsPage(const QString &codecName, const QList<CodecSetting> &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings)
{
    setWindowTitle(codecName + QStringLiteral(" 属性"));
    auto *form = new QFormLayout;
    for (const CodecSetting &s : settings) {
        auto *slider = new QSlider(Qt::Horizontal);
        slider->setRange(s.minimum, s.maximum);
        slider->setValue(s.value);
        slider->setAccessibleName(s.label);
        auto *field = new QSpinBox;
        field->setObjectName(s.key);
        field->setRange(s.minimum, s.maximum);
        field->setValue(s.value);
        field->setAccessibleName(s.label);
        connect(slider, &QSlider::valueChanged, field, &QSpinBox::setValue);
        connect(field, qOverload<int>(&QSpinBox::valueChanged), slider, &QSlider::setValue);
        auto *row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(field);
        form->addRow(new QLabel(s.label), row);
        m_fields << field;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QList<CodecSetting> CodecSettingsPage::values() const
{
    QList<CodecSetting> out = m_settings;
    for (int i = 0; i < out.size() && i < m_fields.size(); ++i)
        out[i].value = m_fields.at(i)->value();
    return out;
}

bool RunCodecSettingsPage(const QString &codecName, QList<CodecSetting> &settings)
{
    if (settings.isEmpty())
        return false;
    CodecSettingsPage page(codecName, settings, QApplication::activeWindow());
    if (page.exec() == QDialog::Accepted)
        settings = page.values();
    return true;
}

void InstallCodecPropertyPages()
{
    TVideoEdit::SetPropertyPageOpener(&RunCodecSettingsPage);
}

} // namespace kc
