#include "common/numericfield.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

TEST(NumericField, ReadsEmptyAsZeroAndRefusesALoneSign)
{
    kc::NumericField f;
    f.setText(QString());
    EXPECT_EQ(f.value(), 0);
    f.setText(QStringLiteral("-"));
    EXPECT_FALSE(f.value().has_value());
    f.setText(QStringLiteral("42"));
    EXPECT_EQ(f.value(), 42);
}

TEST(NumericField, ClampsToTheNearerBoundWhenTheFocusLeaves)
{
    const struct {
        const char *typed;
        const char *after;
    } cases[] = {{"75", "59"}, {"-3", "0"}, {"30", "30"}, {"-", "-"}, {"", ""}};
    for (const auto &c : cases) {
        kc::NumericField f;
        f.setMinimum(0);
        f.setMaximum(59);
        f.setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(f.text(), QString::fromLatin1(c.typed)) << "kept while focused";
        f.clampToRange();
        EXPECT_EQ(f.text(), QString::fromLatin1(c.after)) << c.typed;
    }
}

TEST(NumericField, TakesOnlyDigitsAndSigns)
{
    kc::NumericField f;
    f.setText(QString());
    f.setMaxLength(3);
    QTest::keyClicks(&f, QStringLiteral("1a2.b34"));
    EXPECT_EQ(f.text(), QStringLiteral("123"));
}

// Pasted text keeps what typing would have kept, by the shortcut and by the context menu.
TEST(NumericField, PasteKeepsWhatTypingWould)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("4 x2\n"));
    kc::NumericField f;
    f.setText(QStringLiteral("1"));
    f.setCursorPosition(1);
    QTest::keyClick(&f, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.text(), QStringLiteral("142"));
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(f.text(), QStringLiteral("1"));

    f.selectAll();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), f.mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(&f, &menuEvent);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction *paste = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->text().startsWith(QStringLiteral("&Paste")))
            paste = action;
    }
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    menu->close();
    EXPECT_EQ(f.text(), QStringLiteral("42"));
}
