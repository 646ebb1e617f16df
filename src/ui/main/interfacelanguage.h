#pragma once

#include <QList>
#include <QString>

#include <memory>

class QTranslator;

namespace routereel {

// The interface language: "en" (the source texts) or "zh-Hans", which installs
// every catalogue under :/i18n plus Qt's own Chinese catalogue. Installing
// another language swaps the translators, and Qt sends every widget a
// LanguageChange event; the locale used for times and sizes follows.
class InterfaceLanguage {
public:
    // The stored "appLanguage": "zh-Hans", or "en" for anything else.
    static QString stored();
    // Installs `code` (normalised as above); returns the number of catalogues loaded.
    static int install(const QString &code);

private:
    static QList<std::shared_ptr<QTranslator>> &installed();
};

} // namespace routereel
