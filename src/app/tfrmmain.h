#pragma once

#include "source/showrange.h"

#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class TFrmMain;
}

namespace kc {

class TVideoEdit;
class TfrmFastSplit;
class RangeEntry;
class OutputSettingsPage;
class RenderDriver;
class PreviewTransport;
class SourceLoader;
class SkinMenu;

// The working window: it owns the .ui, the editing component and the preview player, and
// hands each group of controls to the class that handles it.
class TFrmMain : public QWidget
{
    Q_OBJECT
public:
    // The creation step: version, editing component, caption, saved skin, MediaInfo.
    explicit TFrmMain(QWidget *parent = nullptr);
    ~TFrmMain() override;

    QString AppVersion() const { return m_appVersion; }
    TVideoEdit &videoEdit() { return *m_videoEdit; }

    // Locks (false) or unlocks (true) the controls that must not change while a split runs.
    void EnableControl(bool b);

    void btOutputClick();
    void btHelpClick();
    void btToolClick();
    TfrmFastSplit *fastSplitWindow() const { return m_fastSplit; }

    // A later start of the program asked this window to come forward.
    void restoreAndActivate();

    // Loads path as Add does after its dialog (a file dropped on the window, named on the
    // command line or handed over by a later start). While a split runs, or when there is no
    // such file, says so and keeps the current source.
    void OpenSourceFile(const QString &path);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void bindControlGroups();
    RangeFields rangeFields() const;
    void setButtonPictures();
    void setupAccessibility();

    std::unique_ptr<Ui::TFrmMain> ui;
    QString m_appVersion;
    TVideoEdit *m_videoEdit = nullptr;
    TfrmFastSplit *m_fastSplit = nullptr;
    RangeEntry *m_rangeEntry = nullptr;
    OutputSettingsPage *m_outputSettings = nullptr;
    RenderDriver *m_renderDriver = nullptr;
    PreviewTransport *m_preview = nullptr;
    SourceLoader *m_sourceLoader = nullptr;
    SkinMenu *m_skinMenu = nullptr;
    bool m_shown = false;
};

} // namespace kc
