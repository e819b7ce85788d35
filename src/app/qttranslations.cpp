#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kc {

bool InstallQtChineseTranslations(QCoreApplication *app)
{
    if (!app)
        return false;
    // "qt_zh_CN" names the catalogues of every Qt module installed beside it (qtbase_zh_CN, ...).
    auto *translator = new QTranslator(app);
    if (!translator->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace kc
