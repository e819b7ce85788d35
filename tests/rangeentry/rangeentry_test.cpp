#include "source/rangeentry.h"

#include "common/numericfield.h"
#include "source/sourcemedia.h"
#include "support/messagerecorder.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <vector>

namespace {

// The split-mode group as the main window lays it out, without the rest of the window.
class RangeEntryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kc::TSourceMedia = kc::SourceMediaRecord();
        auto *layout = new QVBoxLayout(&host);
        c.radBtSplitCus = new QRadioButton(QStringLiteral("自定义分割"), &host);
        c.radBtSplitAver = new QRadioButton(QStringLiteral("平均分割"), &host);
        c.radBtSplitTime = new QRadioButton(QStringLiteral("按时间分割"), &host);
        c.pgCtlSplitMode = new QStackedWidget(&host);
        for (int i = 0; i < 3; ++i)
            c.pgCtlSplitMode->addWidget(new QWidget);
        kc::NumericField **fields[] = {&c.fields.edtStartHour, &c.fields.edtStartMin,
                                       &c.fields.edtStartSecond, &c.fields.edtStartMSec,
                                       &c.fields.edtEndHour, &c.fields.edtEndMin,
                                       &c.fields.edtEndSecond, &c.fields.edtEndMSec};
        for (kc::NumericField **f : fields) {
            *f = new kc::NumericField(c.pgCtlSplitMode->widget(0));
            layout->addWidget(*f);
        }
        c.btSetStartTime = new QPushButton(QStringLiteral("读播放时间设为开始"), &host);
        c.btSetEndTime = new QPushButton(QStringLiteral("读播放时间设为结束"), &host);
        c.snEditSplitNum = new QSpinBox(&host);
        c.EditSplitTime = new QLineEdit(QStringLiteral("180"), &host);
        for (QWidget *w : std::vector<QWidget *>{c.radBtSplitCus, c.radBtSplitAver, c.radBtSplitTime,
                                                 c.pgCtlSplitMode, c.btSetStartTime, c.btSetEndTime,
                                                 c.snEditSplitNum, c.EditSplitTime})
            layout->addWidget(w);
        c.radBtSplitCus->setChecked(true);
        entry = new kc::RangeEntry(c, &host);
    }

    std::vector<int> StartFields() const
    {
        const kc::RangeFields &f = c.fields;
        return {f.edtStartHour->valueOrZero(), f.edtStartMin->valueOrZero(),
                f.edtStartSecond->valueOrZero(), f.edtStartMSec->valueOrZero()};
    }
    std::vector<int> EndFields() const
    {
        const kc::RangeFields &f = c.fields;
        return {f.edtEndHour->valueOrZero(), f.edtEndMin->valueOrZero(), f.edtEndSecond->valueOrZero(),
                f.edtEndMSec->valueOrZero()};
    }

    QWidget host;
    kc::RangeEntryControls c;
    kc::RangeEntry *entry = nullptr;
    kc::test::MessageRecorder messages;
};

} // namespace

TEST_F(RangeEntryTest, EachModeShowsItsPageAndKeepsTheOthers)
{
    c.fields.edtStartMin->setText(QStringLiteral("7"));
    const struct {
        QRadioButton *button;
        int page;
        kc::TSplitMode mode;
    } steps[] = {{c.radBtSplitAver, 1, kc::smAverage},
                 {c.radBtSplitTime, 2, kc::smTime},
                 {c.radBtSplitCus, 0, kc::smCustom},
                 {c.radBtSplitAver, 1, kc::smAverage}};
    for (const auto &s : steps) {
        s.button->click();
        EXPECT_EQ(c.pgCtlSplitMode->currentIndex(), s.page);
        EXPECT_EQ(entry->ReadSplitMode(), s.mode);
    }
    EXPECT_EQ(c.fields.edtStartMin->text(), QStringLiteral("7"));
    EXPECT_TRUE(messages.entries().isEmpty());
}

TEST_F(RangeEntryTest, TakeButtons)
{
    const struct {
        const char *name;
        double start, end, cur, duration;
        bool takeStart;
        double newStart, newEnd;
        std::vector<int> startFields, endFields;
    } cases[] = {
        {"start inside the range", 0, 100, 42.5, 100, true, 42.5, 100, {0, 0, 42, 500}, {0, 1, 40, 0}},
        {"start past the end", 50, 60, 70, 300, true, 70, 300, {0, 1, 10, 0}, {0, 5, 0, 0}},
        {"start equal to the end", 50, 60, 60, 300, true, 60, 300, {0, 1, 0, 0}, {0, 5, 0, 0}},
        {"end before the start", 50, 60, 30, 300, false, 0, 30, {0, 0, 0, 0}, {0, 0, 30, 0}},
        {"end equal to the start", 50, 60, 50, 300, false, 50, 50, {0, 0, 50, 0}, {0, 0, 50, 0}},
        {"end inside the range", 50, 60, 55.25, 300, false, 50, 55.25, {0, 0, 50, 0}, {0, 0, 55, 250}},
    };
    for (const auto &t : cases) {
        SCOPED_TRACE(t.name);
        kc::TSourceMedia.StartTime = t.start;
        kc::TSourceMedia.EndTime = t.end;
        kc::TSourceMedia.CurTime = t.cur;
        kc::TSourceMedia.Duration = t.duration;
        // Typed since the last take: replaced by the stored range.
        c.fields.edtEndMin->setText(QStringLiteral("10"));
        c.fields.edtStartHour->setText(QStringLiteral("3"));
        (t.takeStart ? c.btSetStartTime : c.btSetEndTime)->click();
        EXPECT_DOUBLE_EQ(kc::TSourceMedia.StartTime, t.newStart);
        EXPECT_DOUBLE_EQ(kc::TSourceMedia.EndTime, t.newEnd);
        EXPECT_EQ(StartFields(), t.startFields);
        EXPECT_EQ(EndFields(), t.endFields);
    }
}

TEST_F(RangeEntryTest, ReadsTheCustomRange)
{
    const struct {
        std::vector<const char *> texts; // start h, m, s, ms, end h, m, s, ms
        bool ok;
        double start, end;
    } cases[] = {
        {{"1", "2", "3", "45", "2", "0", "0", "0"}, true, 3723.045, 7200},
        {{"", "", "", "", "", "", "10", ""}, true, 0, 10},
        // Out of range until the focus leaves: read as it stands.
        {{"0", "75", "0", "0", "0", "0", "0", "1500"}, true, 4500, 1.5},
        {{"-", "0", "0", "0", "0", "1", "0", "0"}, false, 11, 22},
        {{"0", "0", "0", "0", "0", "1", "0", "+-"}, false, 11, 22},
    };
    kc::NumericField *fields[] = {c.fields.edtStartHour, c.fields.edtStartMin, c.fields.edtStartSecond,
                                  c.fields.edtStartMSec, c.fields.edtEndHour, c.fields.edtEndMin,
                                  c.fields.edtEndSecond, c.fields.edtEndMSec};
    for (const auto &t : cases) {
        SCOPED_TRACE(t.texts[0]);
        messages.clear();
        kc::TSourceMedia.StartTime = 11;
        kc::TSourceMedia.EndTime = 22;
        for (int i = 0; i < 8; ++i) {
            fields[i]->setMaxLength(32767);
            fields[i]->setText(QString::fromLatin1(t.texts[i]));
        }
        EXPECT_EQ(entry->ReadCustomRange(), t.ok);
        EXPECT_DOUBLE_EQ(kc::TSourceMedia.StartTime, t.start);
        EXPECT_DOUBLE_EQ(kc::TSourceMedia.EndTime, t.end);
        if (t.ok) {
            EXPECT_TRUE(messages.entries().isEmpty());
        } else {
            ASSERT_EQ(messages.entries().size(), 1);
            EXPECT_EQ(messages.entries()[0].kind, kc::MessageKind::Plain);
            EXPECT_EQ(messages.last(), QStringLiteral("时间设置有错!"));
        }
    }
}

TEST_F(RangeEntryTest, ReadsTheSplitInputs)
{
    kc::TSourceMedia.Duration = 650;
    kc::TSourceMedia.StartTime = 5;
    kc::TSourceMedia.EndTime = 9;
    c.snEditSplitNum->setValue(7);
    c.EditSplitTime->setText(QStringLiteral("12.5"));
    const kc::SplitInputs in = entry->ReadSplitInputs();
    EXPECT_EQ(in.duration, 650);
    EXPECT_EQ(in.startTime, 5);
    EXPECT_EQ(in.endTime, 9);
    EXPECT_EQ(in.parts, 7);
    EXPECT_EQ(in.everyText, QStringLiteral("12.5"));
}

TEST_F(RangeEntryTest, TimeFieldsAreBroughtIntoTheirRanges)
{
    const struct {
        kc::NumericField *field;
        const char *typed;
        const char *shown;
        const char *afterLeaving;
    } cases[] = {
        {c.fields.edtStartHour, "123", "12", "12"},
        {c.fields.edtEndHour, "-5", "-5", "0"},
        {c.fields.edtStartMin, "75", "75", "59"},
        {c.fields.edtEndSecond, "60", "60", "59"},
        {c.fields.edtStartMSec, "1234", "123", "123"},
        {c.fields.edtEndMSec, "999", "999", "999"},
    };
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    for (const auto &t : cases) {
        t.field->setFocus();
        t.field->setText(QString());
        QTest::keyClicks(t.field, QString::fromLatin1(t.typed));
        EXPECT_EQ(t.field->text(), QString::fromLatin1(t.shown)) << t.typed;
        t.field->clampToRange(); // what leaving the field does
        EXPECT_EQ(t.field->text(), QString::fromLatin1(t.afterLeaving)) << t.typed;
    }
}

TEST_F(RangeEntryTest, PartCountStepsAndHoldsAtItsBounds)
{
    const struct {
        int from;
        Qt::Key key;
        int to;
    } cases[] = {
        {100, Qt::Key_Up, 100}, {2, Qt::Key_Down, 2},       {2, Qt::Key_Up, 3},
        {2, Qt::Key_PageUp, 12}, {95, Qt::Key_PageUp, 100}, {7, Qt::Key_PageDown, 2},
        {5, Qt::Key_5, 5},       {5, Qt::Key_Backspace, 5},
    };
    for (const auto &t : cases) {
        c.snEditSplitNum->setValue(t.from);
        QTest::keyClick(c.snEditSplitNum, t.key);
        EXPECT_EQ(c.snEditSplitNum->value(), t.to) << t.from << " key " << t.key;
    }
    c.snEditSplitNum->setValue(500);
    EXPECT_EQ(c.snEditSplitNum->value(), 100);
}

namespace {

// A key with the text a desktop keyboard attaches to it (control characters included).
struct Keystroke {
    Qt::Key key;
    const char *text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

const Keystroke kBackspace{Qt::Key_Backspace, "\b"};
const Keystroke kDelete{Qt::Key_Delete, "\x7f"};
const Keystroke kSelectAll{Qt::Key_A, "\x01", Qt::ControlModifier};
const Keystroke kCut{Qt::Key_X, "\x18", Qt::ControlModifier};
const Keystroke kPaste{Qt::Key_V, "\x16", Qt::ControlModifier};
const Keystroke kUndo{Qt::Key_Z, "\x1a", Qt::ControlModifier};

} // namespace

TEST_F(RangeEntryTest, SplitTimeKeyFilterAndCleanUp)
{
    const struct {
        const char *name;
        const char *before;
        int caret;
        int selectFrom, selectLength; // selectLength 0: no selection
        std::vector<Keystroke> keys;
        const char *after;
        int caretAfter;
        const char *selectedAfter = "";
        const char *clipboard = "9a-.5";
    } cases[] = {
        {"digit", "18", 2, 0, 0, {{Qt::Key_3, "3"}}, "183", 3},
        {"letter swallowed", "18", 2, 0, 0, {{Qt::Key_A, "a"}}, "18", 2},
        {"plus swallowed", "18", 0, 0, 0, {{Qt::Key_Plus, "+"}}, "18", 0},
        {"enter swallowed", "18", 2, 0, 0, {{Qt::Key_Return, "\r"}}, "18", 2},
        {"first point", "12", 2, 0, 0, {{Qt::Key_Period, "."}}, "12.", 3},
        {"second point swallowed", "12.5", 4, 0, 0, {{Qt::Key_Period, "."}}, "12.5", 4},
        {"point swallowed even when it is selected", "12.5", 4, 1, 3, {{Qt::Key_Period, "."}}, "12.5", 4, "2.5"},
        {"minus after the first digit swallowed", "12", 1, 0, 0, {{Qt::Key_Minus, "-"}}, "12", 1},
        {"minus at the start turns into the default, selected", "5", 0, 0, 0, {{Qt::Key_Minus, "-"}}, "180", 3, "180"},
        {"minus over a selection from the start", "12", 2, 0, 2, {{Qt::Key_Minus, "-"}}, "-", 1},
        {"minus over a later selection swallowed", "123", 3, 1, 2, {{Qt::Key_Minus, "-"}}, "123", 3, "23"},
        {"emptied by backspace reads 0, selected", "180", 3, 0, 0, {kBackspace, kBackspace, kBackspace}, "0", 1, "0"},
        {"typing after the cleared text replaces the 0", "180", 3, 0, 0,
         {kBackspace, kBackspace, kBackspace, {Qt::Key_1, "1"}, {Qt::Key_0, "0"}}, "10", 2},
        {"select all, then typing replaces", "180", 1, 0, 0, {kSelectAll, {Qt::Key_1, "1"}, {Qt::Key_0, "0"}}, "10", 2},
        {"delete still deletes", "180", 0, 0, 0, {kDelete}, "80", 0},
        {"arrow keys still move", "180", 3, 0, 0, {{Qt::Key_Left, ""}, {Qt::Key_9, "9"}}, "1890", 3},
        {"any key release cleans up", "", 0, 0, 0, {{Qt::Key_Shift, ""}}, "0", 1, "0"},
        {"paste keeps what typing would", "18", 2, 0, 0, {kPaste}, "189.5", 5},
        {"paste at the start keeps the minus, then the clean-up", "5", 0, 0, 0, {kPaste}, "180", 3, "180", "-9"},
        {"paste over a selection", "180", 0, 0, 3, {kPaste}, "9.5", 3},
        {"cut all, then the clean-up", "180", 0, 0, 3, {kCut}, "0", 1, "0"},
        {"undo takes back the clean-up and the cut", "180", 0, 0, 3, {kCut, kUndo}, "180", 3, "180"},
    };
    for (const auto &t : cases) {
        QGuiApplication::clipboard()->setText(QString::fromLatin1(t.clipboard));
        SCOPED_TRACE(t.name);
        QLineEdit *e = c.EditSplitTime;
        e->setText(QString::fromLatin1(t.before));
        if (t.selectLength)
            e->setSelection(t.selectFrom, t.selectLength);
        else
            e->setCursorPosition(t.caret);
        for (const Keystroke &k : t.keys) {
            QTest::sendKeyEvent(QTest::Click, e, k.key, QString::fromLatin1(k.text), k.modifiers);
        }
        EXPECT_EQ(e->text(), QString::fromLatin1(t.after));
        EXPECT_EQ(e->cursorPosition(), t.caretAfter);
        EXPECT_EQ(e->selectedText(), QString::fromLatin1(t.selectedAfter));
    }
    EXPECT_TRUE(messages.entries().isEmpty());
}

// An input method's text is held to the typing rule as well (full-width digits included).
TEST_F(RangeEntryTest, InputMethodTextIsCleanedLikeTyping)
{
    QLineEdit *e = c.EditSplitTime;
    e->setText(QStringLiteral("1"));
    e->setCursorPosition(1);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("２5秒-"));
    QCoreApplication::sendEvent(e, &commit);
    EXPECT_EQ(e->text(), QStringLiteral("15"));
}

TEST_F(RangeEntryTest, TabStillMovesTheFocusOn)
{
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    c.EditSplitTime->setFocus();
    ASSERT_TRUE(c.EditSplitTime->hasFocus());
    QTest::sendKeyEvent(QTest::Click, c.EditSplitTime, Qt::Key_Tab, QStringLiteral("\t"), Qt::NoModifier);
    EXPECT_FALSE(c.EditSplitTime->hasFocus());
}

TEST_F(RangeEntryTest, TextThatBypassesTheFilterStaysUntilTheSplitRefusesIt)
{
    const char *texts[] = {"abc", "-", "--5", "１８０"};
    for (const char *text : texts) {
        QLineEdit *e = c.EditSplitTime;
        e->setText(QString());
        e->insert(QString::fromUtf8(text)); // as the program itself might
        QTest::keyClick(e, Qt::Key_End);
        EXPECT_EQ(e->text(), QString::fromUtf8(text));
        c.radBtSplitTime->click();
        kc::TSourceMedia.Duration = 600;
        EXPECT_EQ(kc::CheckSplitJob(entry->ReadSplitMode(), entry->ReadSplitInputs()),
                  QStringLiteral("时间设置不正确，请重新设置！"))
            << text;
    }
    EXPECT_TRUE(messages.entries().isEmpty());
}
