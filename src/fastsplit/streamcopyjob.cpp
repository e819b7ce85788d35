#include "streamcopyjob.h"

#include "progressnote.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace kc {

namespace {

constexpr qint64 kReadSize = 4096;  // one read of the child's output
constexpr int kTailBytes = 4096;    // kept for the failure reason
constexpr int kPoliteWaitMs = 2000; // after SIGTERM, before SIGKILL
// What the encoder writes when an exact cut falls back to the keyframe.
constexpr char kNotExactMark[] = "-exact: ";

} // namespace

QString SystemErrorText(const QString &processError)
{
    QString text = processError;
    // Qt names the failing call ("execvp: No such file or directory"); the user needs the cause.
    static const QRegularExpression callPrefix(QStringLiteral(R"(^\s*exec\w*:\s*)"));
    text.remove(callPrefix);
    while (!text.isEmpty()) {
        const QChar last = text.back();
        if (last.isSpace() || last == QLatin1Char('.') || last == QChar(0x3002))
            text.chop(1);
        else
            break;
    }
    return text.trimmed();
}

StreamCopyJob::StreamCopyJob(QObject *parent)
    : QObject(parent)
{
}

StreamCopyJob::~StreamCopyJob()
{
    // Whoever listens may be half gone already; the child and its output still must go.
    blockSignals(true);
    cancel();
}

bool StreamCopyJob::start(const QString &program, const QStringList &arguments, const QString &outputPath,
                          double lengthSeconds)
{
    if (m_process)
        return false;
    m_outcome = Outcome::None;
    m_reason.clear();
    m_tail.clear();
    m_lineStart.clear();
    m_notExact = false;
    m_cancelling = false;
    m_outputPath = outputPath;
    m_length = lengthSeconds;

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    // The child must never wait for input from us.
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::readyReadStandardOutput, this, &StreamCopyJob::readOutput);
    connect(m_process, &QProcess::errorOccurred, this, &StreamCopyJob::onErrorOccurred);
    connect(m_process, &QProcess::finished, this, &StreamCopyJob::onFinished);
    // The program is a full path and the arguments stay whole: no shell, no PATH lookup.
    m_process->start(program, arguments, QIODevice::ReadOnly);
    return true;
}

void StreamCopyJob::cancel()
{
    if (!m_process)
        return;
    m_cancelling = true;
    QProcess *process = m_process;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(kPoliteWaitMs)) {
            process->kill();
            process->waitForFinished(kPoliteWaitMs);
        }
    }
    // finished() may not have come (the child was still starting, or would not die).
    if (m_process == process) {
        QFile::remove(m_outputPath);
        finish(Outcome::Cancelled, QString());
    }
}

void StreamCopyJob::readOutput()
{
    while (m_process && m_process->bytesAvailable() > 0) {
        const QByteArray chunk = m_process->read(kReadSize);
        if (chunk.isEmpty())
            break;
        m_tail += chunk;
        // The note comes early in a long run of progress notes, past what the tail keeps.
        QByteArray lines = m_lineStart + chunk;
        if (lines.contains(kNotExactMark))
            m_notExact = true;
        const qsizetype lastBreak = lines.lastIndexOf('\n');
        m_lineStart = lines.mid(lastBreak + 1).right(kTailBytes);
        if (m_tail.size() > kTailBytes)
            m_tail = m_tail.right(kTailBytes);
        if (const std::optional<int> percent = ProgressPercent(chunk, m_length))
            emit progress(*percent);
    }
}

void StreamCopyJob::onErrorOccurred(QProcess::ProcessError error)
{
    // Every other error ends in finished() as well.
    if (error != QProcess::FailedToStart || !m_process)
        return;
    finish(m_cancelling ? Outcome::Cancelled : Outcome::StartFailed, SystemErrorText(m_process->errorString()));
}

void StreamCopyJob::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_process)
        return;
    readOutput();
    if (m_cancelling) {
        // Only a file of ours: QFile::remove leaves folders alone.
        QFile::remove(m_outputPath);
        finish(Outcome::Cancelled, QString());
        return;
    }
    const QString words = lastWords();
    if (status == QProcess::CrashExit) {
        QFile::remove(m_outputPath); // a partial piece is of no use, and its name was free
        finish(Outcome::Failed, words.isEmpty() ? QStringLiteral("FileEncoder 异常终止") : words);
        return;
    }
    if (exitCode != 0) {
        QFile::remove(m_outputPath); // a partial piece is of no use, and its name was free
        finish(Outcome::Failed, words.isEmpty() ? QStringLiteral("FileEncoder 退出码 %1").arg(exitCode) : words);
        return;
    }
    const QFileInfo written(m_outputPath);
    if (!written.isFile() || written.size() == 0) {
        QFile::remove(m_outputPath); // a partial piece is of no use, and its name was free
        finish(Outcome::Failed, QStringLiteral("没有生成输出文件：") + m_outputPath);
        return;
    }
    finish(Outcome::Written, QString());
}

void StreamCopyJob::finish(Outcome outcome, const QString &reason)
{
    QProcess *process = m_process;
    m_process = nullptr;
    if (process) {
        process->disconnect(this);
        process->deleteLater();
    }
    m_outcome = outcome;
    m_reason = reason;
    m_cancelling = false;
    emit finished();
}

QString StreamCopyJob::lastWords() const
{
    static const QRegularExpression lineBreak(QStringLiteral("[\r\n]"));
    const QStringList lines = QString::fromLocal8Bit(m_tail).split(lineBreak, Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty() && !line.contains(QLatin1String("Pos:")))
            return line;
    }
    return QString();
}

} // namespace kc
