#pragma once

#include "components/videoedit/tvideoedit.h"

#include <QDialog>
#include <QList>

class QSpinBox;

namespace kc {

// The property page of an AVI video codec: one whole-number field per setting.
class CodecPropertyDialog : public QDialog
{
    Q_OBJECT
public:
    CodecPropertyDialog(const QString &codecName, const QList<CodecSetting> &settings,
                        QWidget *parent = nullptr);
    // The settings with the fields' values.
    QList<CodecSetting> values() const;

private:
    QList<CodecSetting> m_settings;
    QList<QSpinBox *> m_fields;
};

// The opener the editing component calls for a codec's property page: false for a codec
// without settings; otherwise the page is shown modally and an accepted page's values
// replace the settings.
bool ShowCodecPropertyPage(const QString &codecName, QList<CodecSetting> &settings);

} // namespace kc
