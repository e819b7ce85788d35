#pragma once

#include "source/rangeentry.h"
#include "split/outputsettingspage.h"
#include "split/renderdriver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QWidget>
#include <memory>

namespace kc {
class TVideoEdit;
}

namespace kc::test {

// The main window's controls of the split workflow, built without the window: the format
// row and pages with their fixed list items, the split-mode group, the output folder
// field, the Split and Stop buttons and the status bar, with the handler classes bound.
struct SplitWindow {
    explicit SplitWindow(TVideoEdit *videoEdit);
    ~SplitWindow();

    // What the main window's EnableControl does to these controls.
    void EnableControl(bool b);
    // Every control EnableControl locks is enabled.
    bool Unlocked() const;

    QWidget root;
    OutputSettingsControls out;
    RangeEntryControls range;
    QWidget *pnlOutSet = nullptr;
    QWidget *pnlOutType = nullptr;
    QWidget *gpBoxSplitMode = nullptr;
    QLineEdit *edtOutput = nullptr;
    QPushButton *btSplitter = nullptr;
    QPushButton *btStop = nullptr;
    QLabel *pnlHint = nullptr;
    QProgressBar *pgbHint = nullptr;

    int previewStops = 0;
    QList<bool> enableCalls;

    std::unique_ptr<OutputSettingsPage> page;
    std::unique_ptr<RangeEntry> entry;
    std::unique_ptr<RenderDriver> driver;
};

} // namespace kc::test
