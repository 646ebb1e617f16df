#include "widgetfonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <mutex>

static void initWidgetFontResources()
{
    Q_INIT_RESOURCE(widgetfonts); // the resources live in a static library
}

namespace routereel {
namespace {

struct Families {
    QString mono = QStringLiteral("DejaVu Sans Mono");
    QString sans = QStringLiteral("DejaVu Sans");
};

const Families &families()
{
    static Families loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        initWidgetFontResources();
        const auto add = [](const char *file, QString &family) {
            const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(file));
            const QStringList names = QFontDatabase::applicationFontFamilies(id);
            if (!names.isEmpty())
                family = names.first();
            else
                qWarning("[WidgetFonts] cannot load %s", file);
        };
        add(":/fonts/DejaVuSansMono-Bold.ttf", loaded.mono);
        add(":/fonts/DejaVuSans.ttf", loaded.sans);
    });
    return loaded;
}

QFont makeFont(const QString &family, double pointSize, bool bold)
{
    QFont font(family);
    font.setBold(bold);
    font.setPointSizeF(pointSize > 0 ? pointSize : 1);
    // Hinting would snap metrics to the pixel grid differently at each size.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    return font;
}

} // namespace

QFont widgetMonoFont(double pointSize)
{
    return makeFont(families().mono, pointSize, true);
}

QFont widgetSansFont(double pointSize)
{
    return makeFont(families().sans, pointSize, false);
}

} // namespace routereel
