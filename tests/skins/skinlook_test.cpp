#include "app/skins/tskindata.h"
#include "app/skins/tskinstore.h"
#include "samplewindow.h"

#include <QApplication>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QFrame>
#include <QHash>
#include <QImage>
#include <QRadioButton>
#include <QRegularExpression>
#include <QToolButton>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Collects the warnings Qt prints while the guard lives (style sheet parse errors, unknown
// properties, images that cannot be loaded), leaving out the offscreen platform's notes
// about what it cannot do.
class WarningCatcher
{
public:
    WarningCatcher() { m_previous = qInstallMessageHandler(&WarningCatcher::handle); }
    ~WarningCatcher() { qInstallMessageHandler(m_previous); }
    static QStringList &caught()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QStringLiteral("This plugin does not support")))
            caught().append(text);
    }
    QtMessageHandler m_previous = nullptr;
};

double channel(int value)
{
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(QRgb rgb)
{
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

// Contrast (1..21) between the commonest colour of the area, its background, and the pixel
// that stands out most from it, which for a caption is the core of its strokes.
double captionContrast(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    const double lb = luminance(background);
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double l = luminance(it.key());
        best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
    }
    return best;
}

// The part of a control where its caption or text is drawn, without frame or indicator.
QRect captionArea(QWidget *widget)
{
    QRect area = widget->rect().adjusted(3, 3, -3, -3);
    if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget))
        area.setLeft(22);
    return area;
}

class SkinLookTest : public ::testing::TestWithParam<int>
{
};

TEST_P(SkinLookTest, TheSheetIsCompleteAndItsPicturesLoad)
{
    const kc::TSkinStore store;
    const QString sheet = store.StyleSheet(GetParam());
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_FALSE(sheet.contains(QLatin1Char('@'))) << "a value of the template was left unfilled";
    const QRegularExpression url(QStringLiteral(R"(url\(([^)]*)\))"));
    int pictures = 0;
    for (const QRegularExpressionMatch &m : url.globalMatch(sheet)) {
        const QImage image(m.captured(1));
        EXPECT_FALSE(image.isNull()) << m.captured(1).toStdString();
        ++pictures;
    }
    EXPECT_GT(pictures, 0);
}

TEST_P(SkinLookTest, AppliesToEveryKindOfControlWithoutWarnings)
{
    kc::test::SampleWindow window;
    window.show();
    // What the sample window lacks: a dialog with tabs, a table with headers, a text box
    // and a pop-up menu with a ticked entry.
    QDialog dialog;
    auto *tabs = new QTabWidget(&dialog);
    auto *table = new QTableWidget(6, 3);
    tabs->addTab(table, QStringLiteral("列表"));
    tabs->addTab(new QTextEdit(QStringLiteral("文本")), QStringLiteral("文本"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    dialog.show();
    QMenu menu;
    menu.addAction(QStringLiteral("iTunes"))->setCheckable(true);
    menu.addSeparator();
    QAction *ticked = menu.addAction(QStringLiteral("xpskin"));
    ticked->setCheckable(true);
    ticked->setChecked(true);
    menu.addAction(QStringLiteral("停用"))->setEnabled(false);

    kc::TSkinData data;
    WarningCatcher::caught().clear();
    {
        WarningCatcher catcher;
        ASSERT_TRUE(data.LoadFromCollection(kc::TSkinStore(), GetParam()));
        menu.popup(QPoint(10, 10));
        menu.setActiveAction(ticked);
        for (bool locked : {true, false}) {
            window.lockAll(locked);
            QApplication::processEvents();
            // Painting is where sub-controls and pictures are resolved.
            (void)window.grab();
            (void)dialog.grab();
            (void)menu.grab();
        }
    }
    EXPECT_TRUE(WarningCatcher::caught().isEmpty()) << WarningCatcher::caught().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(qApp->styleSheet(), data.StyleSheet());
}

TEST_P(SkinLookTest, CaptionsStayReadableWhileLocked)
{
    kc::test::SampleWindow window;
    window.show();
    kc::TSkinData data;
    ASSERT_TRUE(data.LoadFromCollection(kc::TSkinStore(), GetParam()));
    for (bool locked : {false, true}) {
        window.lockAll(locked);
        QApplication::processEvents();
        for (QWidget *control : window.captionedControls()) {
            // Taken from the window, so that what shows through behind the control is there.
            const QImage image =
                window.grab(QRect(control->mapTo(&window, QPoint(0, 0)), control->size())).toImage();
            const double contrast = captionContrast(image, captionArea(control));
            // Normal text asks for 4.5:1; a locked caption only has to stay legible.
            EXPECT_GE(contrast, locked ? 3.0 : 4.5)
                << control->objectName().toStdString() << (locked ? " locked" : "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllSkins, SkinLookTest, ::testing::Range(0, 11),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return kc::TSkinStore().SkinName(info.param).toStdString();
                         });

TEST(SkinLook, SkinsDifferWhileTaggedControlsKeepTheirLook)
{
    kc::test::SampleWindow window;
    window.show();
    const kc::TSkinStore store;
    kc::TSkinData data;
    QList<QImage> windows, buttons, lockedButtons, panels;
    for (int i = 0; i < store.Count(); ++i) {
        ASSERT_TRUE(data.LoadFromCollection(store, i));
        QApplication::processEvents();
        windows << window.grab().toImage();
        buttons << window.toolButton()->grab().toImage();
        panels << window.previewPanel()->grab().toImage();
    }
    window.toolButton()->setEnabled(false); // the Add button while a split runs
    for (int i = 0; i < store.Count(); ++i) {
        ASSERT_TRUE(data.LoadFromCollection(store, i));
        QApplication::processEvents();
        lockedButtons << window.toolButton()->grab().toImage();
    }
    for (int i = 0; i < store.Count(); ++i) {
        SCOPED_TRACE(store.SkinName(i).toStdString());
        for (int j = i + 1; j < store.Count(); ++j)
            EXPECT_NE(windows[i], windows[j]) << "looks the same as " << store.SkinName(j).toStdString();
        EXPECT_EQ(buttons[i], buttons[0]);
        EXPECT_EQ(lockedButtons[i], lockedButtons[0]);
        EXPECT_EQ(panels[i], panels[0]);
    }
    EXPECT_NE(buttons[0], lockedButtons[0]);
}

TEST(SkinLook, TheDisableTagChoosesWhichControlsKeepTheirLook)
{
    kc::test::SampleWindow window;
    window.toolButton()->setProperty("tag", 42);
    window.show();
    const kc::TSkinStore store;
    kc::TSkinData data;
    data.setDisableTag(42);
    QList<QImage> looks;
    for (int i : {0, 3, 10}) {
        ASSERT_TRUE(data.LoadFromCollection(store, i));
        QApplication::processEvents();
        looks << window.toolButton()->grab().toImage();
    }
    EXPECT_EQ(looks[1], looks[0]);
    EXPECT_EQ(looks[2], looks[0]);
}

TEST(SkinData, StartsActiveWithTheBuiltInSkin)
{
    const kc::TSkinStore store;
    kc::TSkinData data;
    EXPECT_TRUE(data.Active());
    EXPECT_EQ(data.DisableTag(), 99);
    EXPECT_EQ(data.SkinName(), QStringLiteral("xpskin"));
    EXPECT_EQ(qApp->styleSheet(), data.StyleSheet());
    EXPECT_TRUE(data.StyleSheet().startsWith(store.StyleSheet(2)));
    EXPECT_TRUE(data.StyleSheet().contains(QStringLiteral("[tag=\"99\"]")));
}

TEST(SkinData, LoadingAppliesOnlyWhileActive)
{
    const kc::TSkinStore store;
    kc::TSkinData data;
    data.setActive(false);
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    ASSERT_TRUE(data.LoadFromCollection(store, 5));
    EXPECT_TRUE(qApp->styleSheet().isEmpty());
    data.setActive(true);
    EXPECT_TRUE(qApp->styleSheet().startsWith(store.StyleSheet(5)));
}

TEST(SkinData, AnIndexOutsideTheStoreChangesNothing)
{
    const kc::TSkinStore store;
    kc::TSkinData data;
    ASSERT_TRUE(data.LoadFromCollection(store, 7));
    const QString before = qApp->styleSheet();
    for (int index : {-1, 11, 1000}) {
        EXPECT_FALSE(data.LoadFromCollection(store, index)) << index;
        EXPECT_EQ(qApp->styleSheet(), before) << index;
        EXPECT_EQ(data.SkinName(), QStringLiteral("mxskin5")) << index;
    }
}

} // namespace
