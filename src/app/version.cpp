#include "version.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <optional>

namespace kc {

namespace {
const QString kDefaultVersion = QStringLiteral("2.0");

QString decode(const QByteArray &data)
{
    // A byte-order mark picks UTF-8 or UTF-16; without one the locale's encoding applies.
    std::optional<QStringConverter::Encoding> bom = QStringConverter::encodingForData(data);
    QStringDecoder decoder(bom.value_or(QStringConverter::System), QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (!text.isEmpty() && text.front() == QChar(0xFEFF))
        text.remove(0, 1);
    return text;
}

QString firstLine(const QString &text)
{
    const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? text : text.left(end);
}

bool digitsAndStopsOnly(const QString &line)
{
    for (const QChar c : line) {
        if (!(c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))))
            return false;
    }
    return true;
}
} // namespace

QString ReadVersion(const QString &path)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return kDefaultVersion;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return kDefaultVersion;
    const QString line = firstLine(decode(data));
    if (line.isEmpty() || !digitsAndStopsOnly(line))
        return kDefaultVersion;
    return line;
}

} // namespace kc
