#include "tfrmfastsplit.h"

#include "ui_tfrmfastsplit.h"

#include "common/browseforfolder.h"
#include "common/filedroptarget.h"
#include "common/mediainfo.h"
#include "common/messages.h"
#include "common/programfont.h"
#include "common/timeparts.h"
#include "encodercommand.h"
#include "encodertime.h"
#include "mediaprobe.h"
#include "opendlg.h"
#include "outputfolder.h"
#include "outputname.h"
#include "rangecheck.h"
#include "streamcopyjob.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QtGlobal>

#include <array>

namespace kc {

namespace {

// Blanks and control characters off both ends.
QString TrimControls(const QString &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Joins four fields into seconds; false (and *seconds untouched) when one cannot be read.
bool ReadTime(const std::array<NumericField *, 4> &fields, double *seconds)
{
    std::array<qint64, 4> v{};
    for (size_t i = 0; i < fields.size(); ++i) {
        // What leaving the field would have done; a click on a button leaves it anyway.
        fields[i]->clampToRange();
        const std::optional<qint64> value = fields[i]->value();
        if (!value)
            return false;
        v[i] = *value;
    }
    *seconds = JoinTimeParts(v[0], v[1], v[2], v[3]);
    return true;
}

} // namespace

TfrmFastSplit::TfrmFastSplit(QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TfrmFastSplit>())
{
    ui->setupUi(this);
    setFont(ProgramFont());
    setFixedSize(396, 251);

    ui->edtOutputPath->setText(DefaultOutputFolder());
    ui->btOpenFile->setToolTip(QStringLiteral("打开要分割的视频文件"));
    ui->btOutPath->setToolTip(QStringLiteral("选择输出目录"));

    OpenDlg = CreateOpenDlg(this);
    // A dropped file is probed as one chosen with "打开文件"; not while a job runs.
    new FileDropTarget(
        this, [this](const QString &path) { ProbeFile(path); }, [this] { return ui->btOpenFile->isEnabled(); });
    m_job = new StreamCopyJob(this);

    connect(ui->btOpenFile, &QPushButton::clicked, this, &TfrmFastSplit::btOpenFileClick);
    connect(ui->btOutPath, &QPushButton::clicked, this, &TfrmFastSplit::btOutPathClick);
    connect(ui->btSplit, &QPushButton::clicked, this, &TfrmFastSplit::btSplitClick);
    connect(ui->btClose, &QPushButton::clicked, this, &TfrmFastSplit::btCloseClick);
    connect(m_job, &StreamCopyJob::progress, this, &TfrmFastSplit::onJobProgress);
    connect(m_job, &StreamCopyJob::finished, this, &TfrmFastSplit::onJobFinished);
    // A program that quits while the child runs must not leave it or its half file behind.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TfrmFastSplit::cancelJob);

    LoadMediaInfo(QStringLiteral("MediaInfo.dll"));
}

TfrmFastSplit::~TfrmFastSplit()
{
    // The job's last signal must not reach a window that is going away.
    m_job->disconnect(this);
    delete m_job;
}

void TfrmFastSplit::BringUp()
{
    if (!m_placed) {
        QRect around;
        if (QWidget *owner = parentWidget())
            around = owner->window()->frameGeometry();
        else if (QScreen *screen = QGuiApplication::primaryScreen())
            around = screen->availableGeometry();
        if (around.isValid())
            move(around.center() - QPoint(width() / 2, height() / 2));
        m_placed = true;
    }
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TfrmFastSplit::EnableControl(bool b)
{
    ui->btOpenFile->setEnabled(b);
    ui->btOutPath->setEnabled(b);
    ui->btSplit->setEnabled(b);
    ui->btClose->setEnabled(b);
    ui->chkExact->setEnabled(b);
}

void TfrmFastSplit::btOpenFileClick()
{
    const QString path = RunOpenDlg(OpenDlg);
    if (path.isEmpty())
        return;
    ProbeFile(path);
}

void TfrmFastSplit::ProbeFile(const QString &path)
{
    ui->edtInputFile->setText(path);
    const FastSplitProbe probe = ProbeMediaFile(path);
    if (probe.unrecognised)
        ShowInfo(UnrecognisedFileMessage(path));
    m_totalTime = probe.totalTime;
    ui->labFileTime->setText(FileTimeLabel(probe.parts));
    ui->edtEndHour->setValue(probe.parts.hour);
    ui->edtEndMin->setValue(probe.parts.minute);
    ui->edtEndSecond->setValue(probe.parts.second);
    ui->edtEndMSec->setValue(probe.parts.msec);
    for (NumericField *field : {ui->edtStartHour, ui->edtStartMin, ui->edtStartSecond, ui->edtStartMSec})
        field->setValue(0);
}

void TfrmFastSplit::btOutPathClick()
{
    QString path;
    if (BrowseForFolder(ui->edtOutputPath, QStringLiteral("请选择输出目录"), QString(), &path))
        ui->edtOutputPath->setText(path);
}

void TfrmFastSplit::btSplitClick()
{
    if (m_job->isRunning())
        return;

    double start = 0.0;
    double end = 0.0;
    bool readable = ReadTime({ui->edtStartHour, ui->edtStartMin, ui->edtStartSecond, ui->edtStartMSec}, &start);
    if (readable)
        readable = ReadTime({ui->edtEndHour, ui->edtEndMin, ui->edtEndSecond, ui->edtEndMSec}, &end);
    if (!readable)
        ShowPlain(QStringLiteral("时间设置有错!"));

    EnableControl(false);
    const FastSplitRange check = CheckFastSplitRange(start, end, m_totalTime);
    if (check != FastSplitRange::Ok) {
        ShowInfo(FastSplitRangeMessage(check));
        EnableControl(true);
        return;
    }

    const double length = end - start;
    EncoderRequest request;
    request.input = TrimControls(ui->edtInputFile->text());
    request.startText = EncoderTimeText(start);
    request.lengthText = EncoderTimeText(length);
    request.output = FastSplitOutputPath(request.input, TrimControls(ui->edtOutputPath->text()));
    request.exact = ui->chkExact->isChecked();
    m_commandLine = EncoderCommandLine(request);

    m_job->start(EncoderProgram(), EncoderArguments(request), request.output, length);
}

void TfrmFastSplit::btCloseClick()
{
    hide();
}

bool TfrmFastSplit::JobRunning() const
{
    return m_job->isRunning();
}

void TfrmFastSplit::closeEvent(QCloseEvent *event)
{
    cancelJob();
    QWidget::closeEvent(event);
}

void TfrmFastSplit::cancelJob()
{
    if (m_job->isRunning())
        m_job->cancel();
}

void TfrmFastSplit::onJobProgress(int percent)
{
    ui->pgbHint->setValue(qBound(0, percent, 100));
}

void TfrmFastSplit::onJobFinished()
{
    const StreamCopyJob::Outcome outcome = m_job->outcome();
    if (outcome == StreamCopyJob::Outcome::StartFailed)
        ShowPlain(m_job->reason());

    EnableControl(true);
    ui->pgbHint->setValue(0);

    switch (outcome) {
    case StreamCopyJob::Outcome::Written:
        if (m_job->notExact())
            ShowInfo(QStringLiteral("分割完成!") + QLatin1Char('\n')
                     + QStringLiteral("此视频的编码或格式不能精确到帧，片段从所选时间之前的关键帧开始。"));
        else
            ShowInfo(QStringLiteral("分割完成!"));
        break;
    case StreamCopyJob::Outcome::StartFailed:
        ShowInfo(QStringLiteral("分割失败!"));
        break;
    case StreamCopyJob::Outcome::Failed:
        ShowInfo(QStringLiteral("分割失败!") + QLatin1Char('\n') + m_job->reason());
        break;
    case StreamCopyJob::Outcome::Cancelled:
    case StreamCopyJob::Outcome::None:
        break;
    }
    emit jobFinished();
}

} // namespace kc
