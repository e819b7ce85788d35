#pragma once

#include "tvideoedit.h"

#include <QDialog>
#include <QList>

class QSlider;
class QSpinBox;

namespace kc {

// The property page of an AVI video codec: a slider and a number field for each setting.
class CodecSettingsPage : public QDialog
{
    Q_OBJECT
public:
    CodecSettingsPage(const QString &codecName, const QList<CodecSetting> &settings, QWidget *parent = nullptr);
    // The settings with the values shown.
    QList<CodecSetting> values() const;

private:
    QList<CodecSetting> m_settings;
    QList<QSpinBox *> m_fields;
};

// Shows the page modally; an accepted page's values replace the settings. False (and nothing
// shown) for a codec without settings.
bool RunCodecSettingsPage(const QString &codecName, QList<CodecSetting> &settings);

// Lets the editing component open these pages (VideoCompressors().ShowPropertyPage).
void InstallCodecPropertyPages();

} // namespace kc
