#include "programfont.h"

#include <QFontDatabase>
#include <QStringList>

namespace kc {

QFont ProgramFont()
{
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const QString &candidate : {QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                                     QStringLiteral("Noto Sans SC"), QStringLiteral("WenQuanYi Micro Hei")}) {
        if (families.contains(candidate)) {
            font.setFamily(candidate);
            break;
        }
    }
    font.setPixelSize(12);
    return font;
}

} // namespace kc
