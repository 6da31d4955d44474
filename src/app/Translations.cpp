#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace murmelo {

namespace {
// Built into the program by lrelease from translations/murmelo_LANG.ts.
constexpr char kOwnFolder[] = ":/i18n";

std::unique_ptr<QTranslator> &own()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> &qts()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> loaded(const QLocale &locale, const QString &name,
                                    const QString &folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder))
        return nullptr;
    QCoreApplication::installTranslator(translator.get());
    return translator;
}
} // namespace

bool installTranslations(const QLocale &locale)
{
    removeTranslations();
    // Only where Murmelo speaks the language: a German dialog button under an English window
    // would be worse than English throughout.
    own() = loaded(locale, QStringLiteral("murmelo"), QString::fromLatin1(kOwnFolder));
    if (!own())
        return false;
    qts() = loaded(locale, QStringLiteral("qtbase"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return true;
}

void removeTranslations()
{
    for (std::unique_ptr<QTranslator> *translator : {&own(), &qts()}) {
        if (*translator)
            QCoreApplication::removeTranslator(translator->get());
        translator->reset();
    }
}

} // namespace murmelo
