#pragma once

#include <QLineEdit>
#include <optional>

namespace kc {

// A whole-number field: takes digits and sign characters, right-aligned, an empty text
// reads 0. A value outside [minimum, maximum] stays until the focus leaves, and is then
// brought to the nearer bound. A text such as "-" cannot be read: value() is empty then.
// Pasted text keeps only the characters that typing would.
class NumericField : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ valueOrZero WRITE setValue USER true)

public:
    explicit NumericField(QWidget *parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    void setMinimum(int v) { m_minimum = v; }
    void setMaximum(int v) { m_maximum = v; }

    std::optional<qint64> value() const;
    int valueOrZero() const;
    void setValue(int v);

    // Brings a readable out-of-range value to the nearer bound (what leaving the field does).
    void clampToRange();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    int m_minimum = 0;
    int m_maximum = 99;
};

} // namespace kc
