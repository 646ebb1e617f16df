#include "interfacelanguage.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

namespace routereel {

QList<std::shared_ptr<QTranslator>> &InterfaceLanguage::installed()
{
    static QList<std::shared_ptr<QTranslator>> translators;
    return translators;
}

QString InterfaceLanguage::stored()
{
    return QSettings().value(QStringLiteral("appLanguage"), QStringLiteral("en")).toString();
}

int InterfaceLanguage::install(const QString &code)
{
    const bool chinese = code == QLatin1String("zh-Hans");
    // The system's list of preferred languages, as the stored choice says.
    QSettings().setValue(QStringLiteral("AppleLanguages"), QStringList{code});
    // The locale first: views that retranslate read times and sizes in it.
    QLocale::setDefault(chinese ? QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China)
                                : QLocale(QLocale::English, QLocale::UnitedStates));

    QList<std::shared_ptr<QTranslator>> &translators = installed();
    const bool hadTranslators = !translators.isEmpty();
    for (const auto &translator : translators)
        QCoreApplication::removeTranslator(translator.get());
    translators.clear();
    if (!chinese) {
        // Removing a catalogue announces the change; with none removed, announce it here.
        if (!hadTranslators && QCoreApplication::instance()) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
        }
        return 0;
    }
    QStringList files;
    const QDir bundled(QStringLiteral(":/i18n"));
    for (const QString &name : bundled.entryList({QStringLiteral("*_zh_CN.qm")}, QDir::Files, QDir::Name))
        files << bundled.filePath(name);
    files << QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm");
    for (const QString &file : files) {
        auto translator = std::make_shared<QTranslator>();
        if (!translator->load(file))
            continue;
        QCoreApplication::installTranslator(translator.get());
        translators.append(translator);
    }
    return int(translators.size());
}

} // namespace routereel
