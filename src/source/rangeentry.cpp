#include "rangeentry.h"

#include "common/messages.h"
#include "common/numericfield.h"
#include "common/timeparts.h"
#include "common/typedpaste.h"
#include "sourcemedia.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>

#include <optional>

namespace kc {

namespace {

void SetUpField(NumericField *field, int maximum, int maxLength, const QString &accessibleName)
{
    field->setMinimum(0);
    field->setMaximum(maximum);
    field->setMaxLength(maxLength);
    if (field->accessibleName().isEmpty())
        field->setAccessibleName(accessibleName);
}

void SetHintIfEmpty(QWidget *widget, const QString &hint)
{
    if (widget->toolTip().isEmpty())
        widget->setToolTip(hint);
}

// Hour, minute, second and millisecond fields joined into seconds; empty when one of them
// holds a text that is not a whole number.
std::optional<double> ReadTime(NumericField *hour, NumericField *minute, NumericField *second,
                               NumericField *msec)
{
    const std::optional<qint64> h = hour->value();
    const std::optional<qint64> m = minute->value();
    const std::optional<qint64> s = second->value();
    const std::optional<qint64> ms = msec->value();
    if (!h || !m || !s || !ms)
        return std::nullopt;
    return JoinTimeParts(*h, *m, *s, *ms);
}

// Keys that move or delete without typing a character: the filter lets them through even
// when the platform attaches a control character to them.
bool IsEditingKey(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

// The by-time length's key rule: digits and backspace always, "-" only at the very start,
// "." only while the text holds none (also when the one it holds is about to be replaced).
bool SplitTimeAccepts(QChar key, const QString &text, int caret)
{
    if (key == QLatin1Char('\b') || (key >= QLatin1Char('0') && key <= QLatin1Char('9')))
        return true;
    if (key == QLatin1Char('-'))
        return caret == 0;
    if (key == QLatin1Char('.'))
        return !text.contains(QLatin1Char('.'));
    return false;
}

} // namespace

RangeEntry::RangeEntry(const RangeEntryControls &controls, QObject *parent)
    : QObject(parent)
    , m_c(controls)
{
    const RangeFields &f = m_c.fields;
    Q_ASSERT(m_c.radBtSplitCus && m_c.radBtSplitAver && m_c.radBtSplitTime && m_c.pgCtlSplitMode);
    Q_ASSERT(f.edtStartHour && f.edtStartMin && f.edtStartSecond && f.edtStartMSec);
    Q_ASSERT(f.edtEndHour && f.edtEndMin && f.edtEndSecond && f.edtEndMSec);
    Q_ASSERT(m_c.btSetStartTime && m_c.btSetEndTime && m_c.snEditSplitNum && m_c.EditSplitTime);

    SetUpField(f.edtStartHour, 99, 2, QStringLiteral("开始时"));
    SetUpField(f.edtStartMin, 59, 2, QStringLiteral("开始分"));
    SetUpField(f.edtStartSecond, 59, 2, QStringLiteral("开始秒"));
    SetUpField(f.edtStartMSec, 999, 3, QStringLiteral("开始毫秒"));
    SetUpField(f.edtEndHour, 99, 2, QStringLiteral("结束时"));
    SetUpField(f.edtEndMin, 59, 2, QStringLiteral("结束分"));
    SetUpField(f.edtEndSecond, 59, 2, QStringLiteral("结束秒"));
    SetUpField(f.edtEndMSec, 999, 3, QStringLiteral("结束毫秒"));

    SetHintIfEmpty(m_c.btSetStartTime, QStringLiteral("把当前播放时间设为开始时间"));
    SetHintIfEmpty(m_c.btSetEndTime, QStringLiteral("把当前播放时间设为结束时间"));

    // The part count changes by steps only: 1 for buttons, arrow keys and the wheel, 10 for
    // the page keys and Ctrl with the wheel (both Qt's own), held at the bounds.
    QSpinBox *num = m_c.snEditSplitNum;
    num->setRange(2, 100);
    num->setSingleStep(1);
    num->setWrapping(false);
    if (QLineEdit *numText = num->findChild<QLineEdit *>())
        numText->setReadOnly(true);
    if (num->accessibleName().isEmpty())
        num->setAccessibleName(QStringLiteral("平均分割的部分数"));

    if (m_c.EditSplitTime->accessibleName().isEmpty())
        m_c.EditSplitTime->setAccessibleName(QStringLiteral("每段的秒数"));
    m_c.EditSplitTime->installEventFilter(this);
    // Installed after the key filter, so it sees a paste first.
    new TypedPaste(m_c.EditSplitTime, SplitTimeAccepts, [this] { EditSplitTimeKeyUp(); });

    // toggled rather than clicked: the page follows the selected button however it got selected.
    connect(m_c.radBtSplitCus, &QAbstractButton::toggled, this, &RangeEntry::radBtSplitCusClick);
    connect(m_c.radBtSplitAver, &QAbstractButton::toggled, this, &RangeEntry::radBtSplitAverClick);
    connect(m_c.radBtSplitTime, &QAbstractButton::toggled, this, &RangeEntry::radBtSplitTimeClick);
    connect(m_c.btSetStartTime, &QAbstractButton::clicked, this, &RangeEntry::btSetStartTimeClick);
    connect(m_c.btSetEndTime, &QAbstractButton::clicked, this, &RangeEntry::btSetEndTimeClick);
}

TSplitMode RangeEntry::ReadSplitMode() const
{
    if (m_c.radBtSplitCus->isChecked())
        return smCustom;
    if (m_c.radBtSplitAver->isChecked())
        return smAverage;
    return smTime;
}

bool RangeEntry::ReadCustomRange()
{
    const RangeFields &f = m_c.fields;
    const std::optional<double> start =
        ReadTime(f.edtStartHour, f.edtStartMin, f.edtStartSecond, f.edtStartMSec);
    const std::optional<double> end = ReadTime(f.edtEndHour, f.edtEndMin, f.edtEndSecond, f.edtEndMSec);
    if (!start || !end) {
        ShowPlain(QStringLiteral("时间设置有错!"));
        return false;
    }
    TSourceMedia.StartTime = *start;
    TSourceMedia.EndTime = *end;
    return true;
}

SplitInputs RangeEntry::ReadSplitInputs() const
{
    SplitInputs in;
    in.duration = TSourceMedia.Duration;
    in.startTime = TSourceMedia.StartTime;
    in.endTime = TSourceMedia.EndTime;
    in.parts = m_c.snEditSplitNum->value();
    in.everyText = m_c.EditSplitTime->text();
    return in;
}

void RangeEntry::radBtSplitCusClick()
{
    if (m_c.radBtSplitCus->isChecked())
        m_c.pgCtlSplitMode->setCurrentIndex(0);
}

void RangeEntry::radBtSplitAverClick()
{
    if (m_c.radBtSplitAver->isChecked())
        m_c.pgCtlSplitMode->setCurrentIndex(1);
}

void RangeEntry::radBtSplitTimeClick()
{
    if (m_c.radBtSplitTime->isChecked())
        m_c.pgCtlSplitMode->setCurrentIndex(2);
}

void RangeEntry::btSetStartTimeClick()
{
    TSourceMedia.StartTime = TSourceMedia.CurTime;
    if (!(TSourceMedia.EndTime > TSourceMedia.StartTime))
        TSourceMedia.EndTime = TSourceMedia.Duration;
    ShowRange(m_c.fields);
}

void RangeEntry::btSetEndTimeClick()
{
    TSourceMedia.EndTime = TSourceMedia.CurTime;
    if (TSourceMedia.CurTime < TSourceMedia.StartTime)
        TSourceMedia.StartTime = 0;
    ShowRange(m_c.fields);
}

void RangeEntry::EditSplitTimeKeyPress(QChar &key)
{
    const QLineEdit *edit = m_c.EditSplitTime;
    const int caret = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    if (!SplitTimeAccepts(key, edit->text(), caret))
        key = QChar();
}

void RangeEntry::EditSplitTimeKeyUp()
{
    QLineEdit *edit = m_c.EditSplitTime;
    if (edit->text().trimmed().isEmpty())
        SetSplitTimeText(QStringLiteral("0"));
    bool ok = false;
    const double value = edit->text().toDouble(&ok);
    // A text that is not a number (a lone "-", or something pasted) stays as typed: the split
    // refuses it when it reads the length.
    if (ok && value < 0)
        SetSplitTimeText(QStringLiteral("180"));
}

void RangeEntry::SetSplitTimeText(const QString &text)
{
    // Written as an edit of its own, so that undo still reaches what the user had; selected,
    // so that the next digit replaces it instead of joining it.
    QLineEdit *edit = m_c.EditSplitTime;
    edit->selectAll();
    edit->insert(text);
    edit->setSelection(0, int(text.size()));
    m_cleanUpWrote = true;
}

bool RangeEntry::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_c.EditSplitTime)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        // Undoing takes back the clean-up together with the edit that caused it: the clean-up
        // alone would only write its text again when the key is released.
        if (keyEvent->matches(QKeySequence::Undo) && m_cleanUpWrote)
            m_c.EditSplitTime->undo();
        m_cleanUpWrote = false;
        if (keyEvent->key() == Qt::Key_Backspace)
            return false;
        if (IsEditingKey(keyEvent->key()))
            return false;
        const QString typed = keyEvent->text();
        // Shortcuts (select all, copy, cut, undo...) carry no printable character; the field
        // handles them and never types them.
        if (typed.isEmpty() || !typed.front().isPrint())
            return false;
        for (QChar c : typed) {
            EditSplitTimeKeyPress(c);
            if (c.isNull())
                return true;
        }
        return false;
    }
    if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
        EditSplitTimeKeyUp();
    return false;
}

} // namespace kc
