#include "split/codecpropertydialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kc {

CodecPropertyDialog::CodecPropertyDialog(const QString &codecName, const QList<CodecSetting> &settings,
                                         QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("CodecPropertyDialog"));
    setWindowTitle(QStringLiteral("%1 属性").arg(codecName));
    auto *form = new QFormLayout;
    for (const CodecSetting &s : settings) {
        auto *field = new QSpinBox(this);
        field->setObjectName(s.key);
        field->setRange(s.minimum, s.maximum);
        field->setValue(s.value);
        field->setAccessibleName(s.label);
        form->addRow(s.label + QStringLiteral("："), field);
        m_fields << field;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QList<CodecSetting> CodecPropertyDialog::values() const
{
    QList<CodecSetting> out = m_settings;
    for (int i = 0; i < out.size(); ++i)
        out[i].value = m_fields.at(i)->value();
    return out;
}

bool ShowCodecPropertyPage(const QString &codecName, QList<CodecSetting> &settings)
{
    if (settings.isEmpty())
        return false;
    CodecPropertyDialog dialog(codecName, settings, QApplication::activeWindow());
    if (dialog.exec() == QDialog::Accepted)
        settings = dialog.values();
    return true;
}

} // namespace kc
