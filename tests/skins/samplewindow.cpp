#include "samplewindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

namespace kc::test {

namespace {
template<typename T>
T *place(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    auto *widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QToolButton *toolbarButton(QWidget *parent, const char *name, const QString &text, QStyle::StandardPixmap icon, int x)
{
    auto *button = place<QToolButton>(parent, name, x, 4, 60, 65);
    button->setText(text);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setProperty("tag", 99);
    return button;
}
} // namespace

SampleWindow::SampleWindow(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FrmMain"));
    setFixedSize(686, 482);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(12);
    setFont(font);

    auto *top = place<QFrame>(this, "pnlTop", 0, 3, 686, 75);
    m_toolButton = toolbarButton(top, "btAddFile", QStringLiteral("添加"), QStyle::SP_DialogOpenButton, 8);
    toolbarButton(top, "btSplitter", QStringLiteral("分割"), QStyle::SP_MediaSeekForward, 78);
    toolbarButton(top, "btStop", QStringLiteral("停止"), QStyle::SP_MediaStop, 142);
    toolbarButton(top, "btSkin", QStringLiteral("换肤"), QStyle::SP_DesktopIcon, 212);
    toolbarButton(top, "btHelp", QStringLiteral("帮助"), QStyle::SP_DialogHelpButton, 276);

    auto *left = place<QFrame>(this, "pnlMidTopLeft", 0, 78, 337, 244);
    m_previewPanel = place<QFrame>(left, "PnlVideoEdit", 16, 8, 305, 201);
    m_previewPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_previewPanel->setLineWidth(2);
    m_previewPanel->setProperty("tag", 99);
    auto *play = place<QFrame>(left, "pnlMoviePlay", 16, 214, 305, 26);
    auto *btPlay = place<QToolButton>(play, "btPrePlay", 0, 2, 24, 22);
    btPlay->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    auto *btStop = place<QToolButton>(play, "btPreStop", 28, 2, 24, 22);
    btStop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    auto *track = place<QSlider>(play, "TrackBar", 58, 2, 245, 22);
    track->setOrientation(Qt::Horizontal);
    track->setRange(0, 100);
    track->setValue(35);
    m_lockable << play;

    auto *right = place<QFrame>(this, "pnlMidTopRight", 337, 78, 349, 244);
    auto *mode = place<QGroupBox>(right, "gpBoxSplitMode", 4, 2, 341, 182);
    mode->setTitle(QStringLiteral("视频分割方式"));
    auto *cus = place<QRadioButton>(mode, "radBtSplitCus", 10, 20, 100, 20);
    cus->setText(QStringLiteral("自定义分割"));
    cus->setChecked(true);
    auto *aver = place<QRadioButton>(mode, "radBtSplitAver", 118, 20, 100, 20);
    aver->setText(QStringLiteral("平均分割"));
    auto *label = place<QLabel>(mode, "Label4", 12, 52, 70, 18);
    label->setText(QStringLiteral("开始时间："));
    auto *hour = place<QLineEdit>(mode, "edtStartHour", 84, 50, 36, 22);
    hour->setText(QStringLiteral("12"));
    hour->setAlignment(Qt::AlignRight);
    auto *count = place<QSpinBox>(mode, "snEditSplitNum", 130, 50, 60, 22);
    count->setValue(4);
    auto *setStart = place<QPushButton>(mode, "btSetStartTime", 200, 49, 70, 24);
    setStart->setText(QStringLiteral("设置开始"));
    auto *list = place<QListWidget>(mode, "lstSample", 12, 82, 316, 90);
    for (int i = 1; i <= 8; ++i)
        list->addItem(QStringLiteral("片段 %1").arg(i));
    list->setCurrentRow(1);
    m_lockable << mode;
    m_captioned << cus << label << hour << setStart;

    auto *output = place<QLineEdit>(right, "edtOutput", 8, 190, 250, 22);
    output->setText(QStringLiteral("/home/user/视频/"));
    output->setReadOnly(true);
    auto *btOutput = place<QPushButton>(right, "btOutput", 264, 189, 76, 24);
    btOutput->setText(QStringLiteral("输出路径"));
    m_lockable << output << btOutput;
    m_captioned << output << btOutput;

    auto *bottom = place<QFrame>(this, "pnlMidBottom", 0, 322, 686, 135);
    auto *format = place<QGroupBox>(bottom, "GroupBox1", 4, 28, 678, 104);
    format->setTitle(QStringLiteral("输出格式设置"));
    auto *codec = place<QComboBox>(format, "cmbAVIVideoEncoder", 94, 21, 220, 22);
    codec->addItems({QStringLiteral("MPEG-4 视频编码器"), QStringLiteral("DV Video Encoder")});
    auto *check = place<QCheckBox>(format, "ckbAVIVideoEncoder", 326, 22, 100, 20);
    check->setText(QStringLiteral("使用原编码"));
    check->setChecked(true);
    auto *uncheck = place<QCheckBox>(format, "ckbAVIAudioEncoder", 326, 50, 100, 20);
    uncheck->setText(QStringLiteral("保留音频"));
    m_lockable << format;
    m_captioned << check;

    auto *status = place<QFrame>(this, "pnlBottom", 0, 457, 686, 25);
    auto *hint = place<QLabel>(status, "pnlHint", 0, 0, 201, 25);
    hint->setText(QStringLiteral("提示：正在分割第 2 段"));
    hint->setIndent(4);
    auto *progress = place<QProgressBar>(status, "pgbHint", 203, 2, 481, 21);
    progress->setValue(40);
    progress->setTextVisible(true);
}

void SampleWindow::lockAll(bool locked)
{
    for (QWidget *widget : m_lockable)
        widget->setEnabled(!locked);
}

} // namespace kc::test
