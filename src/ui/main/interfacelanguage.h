#pragma once

#include <QList>
#include <QString>

#include <memory>

class QTranslator;

namespace routereel {

// The interface language: "zh-Hans" installs every catalogue under :/i18n plus
// Qt's own Chinese catalogue; any other code has no catalogue, so the source
// (English) texts show. Installing another language swaps the translators, and
// Qt sends every widget a LanguageChange event; the locale used for times and
// sizes follows.
class InterfaceLanguage {
public:
    // The stored "appLanguage" as it stands; "en" when absent.
    static QString stored();
    // Installs `code` and writes it, unchanged, as the one preferred language
    // ("AppleLanguages"); returns the number of catalogues loaded.
    static int install(const QString &code);

private:
    static QList<std::shared_ptr<QTranslator>> &installed();
};

} // namespace routereel
