#include "numericfield.h"

#include "timeparts.h"
#include "typedpaste.h"

#include <QRegularExpressionValidator>

namespace kc {

NumericField::NumericField(QWidget *parent)
    : QLineEdit(parent)
{
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[-+0-9]*")), this));
    setText(QStringLiteral("0"));
    // A paste keeps the characters typing would; the validator alone would refuse it whole.
    new TypedPaste(this, [](QChar c, const QString &, int) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('+');
    });
}

std::optional<qint64> NumericField::value() const
{
    const QString t = text().trimmed();
    if (t.isEmpty())
        return 0;
    qint64 v = 0;
    if (!ParseWholeNumber(t, &v))
        return std::nullopt;
    return v;
}

int NumericField::valueOrZero() const
{
    return int(value().value_or(0));
}

void NumericField::setValue(int v)
{
    setText(QString::number(v));
}

void NumericField::clampToRange()
{
    const std::optional<qint64> v = value();
    if (!v)
        return;
    if (*v < m_minimum)
        setValue(m_minimum);
    else if (*v > m_maximum)
        setValue(m_maximum);
}

void NumericField::focusOutEvent(QFocusEvent *event)
{
    clampToRange();
    QLineEdit::focusOutEvent(event);
}

} // namespace kc
