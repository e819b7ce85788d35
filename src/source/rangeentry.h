#pragma once

#include "showrange.h"
#include "common/planning.h"

#include <QObject>

class QAbstractButton;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace kc {

struct RangeEntryControls {
    QRadioButton *radBtSplitCus = nullptr;
    QRadioButton *radBtSplitAver = nullptr;
    QRadioButton *radBtSplitTime = nullptr;
    QStackedWidget *pgCtlSplitMode = nullptr;
    RangeFields fields;             // the eight time fields of the custom page
    QAbstractButton *btSetStartTime = nullptr;
    QAbstractButton *btSetEndTime = nullptr;
    QSpinBox *snEditSplitNum = nullptr;
    QLineEdit *EditSplitTime = nullptr;
};

// The split-mode group's handlers: mode pages, the two take buttons, the part count and the
// by-time length with its key filter. Reads the group for the split.
class RangeEntry : public QObject
{
    Q_OBJECT

public:
    // Connects the handlers and sets the controls' ranges; every control must be given.
    RangeEntry(const RangeEntryControls &controls, QObject *parent = nullptr);

    TSplitMode ReadSplitMode() const;
    // Reads the eight fields into TSourceMedia.StartTime/EndTime; on a field that cannot be
    // read shows "时间设置有错!" in the plain box, leaves the stored range as it was and
    // returns false (the caller ends the attempt).
    bool ReadCustomRange();
    // The current inputs (duration and range from TSourceMedia, N and T text from the controls).
    SplitInputs ReadSplitInputs() const;

    void radBtSplitCusClick();
    void radBtSplitAverClick();
    void radBtSplitTimeClick();
    void btSetStartTimeClick();
    void btSetEndTimeClick();
    // One character typed into EditSplitTime: set to a null character when it is swallowed.
    void EditSplitTimeKeyPress(QChar &key);
    // After any key released in EditSplitTime.
    void EditSplitTimeKeyUp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetSplitTimeText(const QString &text);

    RangeEntryControls m_c;
    bool m_cleanUpWrote = false; // the last change of EditSplitTime was the clean-up's
};

} // namespace kc
