// The codec property page and its installation as the component's opener.
#include "components/videoedit/codecsettingspage.h"

#include <QApplication>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace kc;

namespace {

QList<CodecSetting> Settings()
{
    return {{QStringLiteral("quality"), QStringLiteral("视频质量 (1-100)："), 1, 100, 80},
            {QStringLiteral("gop"), QStringLiteral("关键帧间隔 (帧)："), 1, 600, 250}};
}

TEST(VideoEditSettingsPage, SliderAndFieldShowOneValueWithinItsLimits)
{
    CodecSettingsPage page(QStringLiteral("XviD MPEG-4 Codec"), Settings());
    EXPECT_EQ(page.windowTitle(), QStringLiteral("XviD MPEG-4 Codec 属性"));
    auto *gop = page.findChild<QSpinBox *>(QStringLiteral("gop"));
    ASSERT_NE(gop, nullptr);
    EXPECT_FALSE(gop->accessibleName().isEmpty());
    const QList<QSlider *> sliders = page.findChildren<QSlider *>();
    ASSERT_EQ(sliders.size(), 2);
    sliders.at(1)->setValue(30);
    EXPECT_EQ(gop->value(), 30);
    gop->setValue(9999);
    EXPECT_EQ(sliders.at(1)->value(), 600);
    const QList<CodecSetting> v = page.values();
    EXPECT_EQ(v.at(0).value, 80);
    EXPECT_EQ(v.at(1).value, 600);
}

TEST(VideoEditSettingsPage, InstalledPagesChangeTheComponentsSettingsOnlyWhenAccepted)
{
    InstallCodecPropertyPages();
    TVideoEdit edit;
    VideoCompressorList &list = edit.VideoCompressors();
    int tunable = -1, plain = -1;
    for (int i = 0; i < list.Count(); ++i)
        (list.settings(i).isEmpty() ? plain : tunable) = i;
    ASSERT_GE(tunable, 0);
    ASSERT_GE(plain, 0);
    EXPECT_FALSE(list.ShowPropertyPage(plain));

    QTimer::singleShot(0, [] {
        auto *page = qobject_cast<CodecSettingsPage *>(QApplication::activeModalWidget());
        ASSERT_NE(page, nullptr);
        page->findChild<QSpinBox *>(QStringLiteral("gop"))->setValue(48);
        page->accept();
    });
    EXPECT_TRUE(list.ShowPropertyPage(tunable));
    int gop = 0;
    for (const CodecSetting &s : list.settings(tunable))
        gop = s.key == QLatin1String("gop") ? s.value : gop;
    EXPECT_EQ(gop, 48);

    QTimer::singleShot(0, [] {
        auto *page = qobject_cast<CodecSettingsPage *>(QApplication::activeModalWidget());
        ASSERT_NE(page, nullptr);
        page->findChild<QSpinBox *>(QStringLiteral("gop"))->setValue(7);
        page->reject();
    });
    EXPECT_TRUE(list.ShowPropertyPage(tunable));
    for (const CodecSetting &s : list.settings(tunable))
        gop = s.key == QLatin1String("gop") ? s.value : gop;
    EXPECT_EQ(gop, 48);
    TVideoEdit::SetPropertyPageOpener(nullptr);
}

} // namespace
