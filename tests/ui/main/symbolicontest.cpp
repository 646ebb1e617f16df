#include "ui/icons/symbolicon.h"
#include "ui/main/windowappearance.h"

#include "support/testartifacts.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

// The top-level arguments of the call whose '(' ends at `open` in `text`.
QStringList callArguments(const QString &text, qsizetype open)
{
    QStringList args{QString()};
    for (int depth = 1; open < text.size(); ++open) {
        const QChar c = text[open];
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0)
            break;
        if (c == ',' && depth == 1)
            args << QString();
        else
            args.last() += c;
    }
    return args;
}

// Symbol names the interface's sources use, comments left out: lower-case
// literals among the arguments of a call whose name holds "symbol" (symbolIcon,
// paintSymbol ...) or given for a parameter named "symbol", literals given to a
// name ending in "icon" or "symbol", and every dotted literal that is not a file name.
QMap<QString, QString> symbolNamesInSources()
{
    static const QRegularExpression call(R"(\b(\w+)\()");
    static const QRegularExpression literal(R"re("([a-z][a-z0-9]*(?:\.[a-z0-9]+)*)")re");
    static const QRegularExpression named(
        R"re((?:[iI]con|[sS]ymbol)\s*(?:=|\{|\()\s*(?:QStringLiteral\()?"([a-z][a-z0-9.]*)")re");
    static const QRegularExpression symbolParameter(R"(\bsymbol\s*(=.*)?$)");
    static const QRegularExpression fileName(R"(\.(h|cpp|js|svg|png|qm|ts|rrl|gpx|mp4|json|html|css)$)");
    static const QRegularExpression comment(R"((^|\s)//[^\n]*)");
    QHash<QString, QString> sources;
    QDirIterator it(QStringLiteral(ROUTEREEL_SOURCE_DIR "/src"), {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!(path.contains("/src/ui/") || path.contains("/views/")) || path.endsWith("/icons/symbolicon.cpp"))
            continue;
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        sources.insert(QFileInfo(path).fileName(), QString::fromUtf8(file.readAll()).replace(comment, "\\1"));
    }
    // Functions with a parameter named "symbol", and its place.
    QHash<QString, int> takesSymbol;
    for (const QString &text : std::as_const(sources))
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch c = m.next();
            const QStringList args = callArguments(text, c.capturedEnd());
            for (int i = 0; i < args.size(); ++i)
                if (symbolParameter.match(args[i].trimmed()).hasMatch())
                    takesSymbol.insert(c.captured(1), i);
        }
    QMap<QString, QString> found;  // name → file
    for (auto source = sources.cbegin(); source != sources.cend(); ++source) {
        const QString &text = source.value();
        const auto take = [&](const QString &part, const QRegularExpression &pattern) {
            for (auto l = pattern.globalMatch(part); l.hasNext();)
                found.insert(l.next().captured(1), source.key());
        };
        for (auto m = call.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch c = m.next();
            const QStringList args = callArguments(text, c.capturedEnd());
            if (c.captured(1).contains("symbol", Qt::CaseInsensitive))
                take(args.join(','), literal);
            else if (takesSymbol.contains(c.captured(1)) && takesSymbol[c.captured(1)] < args.size())
                take(args[takesSymbol[c.captured(1)]], literal);
        }
        take(text, named);
        for (auto m = literal.globalMatch(text); m.hasNext();) {
            const QString name = m.next().captured(1);
            if (name.contains('.') && !fileName.match(name).hasMatch())
                found.insert(name, source.key());
        }
    }
    return found;
}

// Colours of the painted pixels of `image`, ignoring the antialiased edge.
QSet<QRgb> solidColors(const QImage &image)
{
    QSet<QRgb> colors;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255)
                colors.insert(image.pixel(x, y) | 0xff000000);
    return colors;
}

} // namespace

TEST(SymbolIcon, EverySymbolTheSourcesNameIsAFileOfTheSet)
{
    const QMap<QString, QString> used = symbolNamesInSources();
    // The scan reaches each area's way of naming a symbol.
    for (const char *name : {"sun.max.fill", "tray", "clock", "location", "scissors", "internaldrive"})
        EXPECT_TRUE(used.contains(name)) << name;
    for (auto it = used.begin(); it != used.end(); ++it)
        EXPECT_FALSE(symbolFile(it.key()).isEmpty()) << it.key().toStdString() << " in " << it.value().toStdString();

    // Every file of the set is in the table, and every entry is a drawable single-colour SVG.
    QSet<QString> tableFiles;
    for (const QString &name : symbolNames())
        tableFiles.insert(QFileInfo(symbolFile(name)).fileName());
    const QStringList onDisk = QDir(ROUTEREEL_SOURCE_DIR "/resources/icons").entryList({"*.svg"}, QDir::Files);
    EXPECT_EQ(QSet<QString>(onDisk.begin(), onDisk.end()), tableFiles);
    const QColor tint(200, 30, 90);
    for (const QString &name : symbolNames()) {
        QSvgRenderer renderer(symbolFile(name));
        EXPECT_TRUE(renderer.isValid()) << name.toStdString();
        EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 24, 24)) << name.toStdString();
        const QImage image = symbolPixmap(name, tint, 48).toImage();
        EXPECT_EQ(solidColors(image), QSet<QRgb>{tint.rgb()}) << name.toStdString();
    }
}

TEST(SymbolIcon, PaletteTintFollowsTheAppearanceAndFadesWhenDisabled)
{
    const QIcon icon = symbolIcon("stop.fill");
    const QPalette before = QApplication::palette();
    for (bool dark : {false, true}) {
        QApplication::setPalette(windowPalette(dark));
        const QColor text = QApplication::palette().color(QPalette::WindowText);
        EXPECT_EQ(solidColors(icon.pixmap(24).toImage()), QSet<QRgb>{text.rgb()}) << dark;
        const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
        EXPECT_EQ(qAlpha(disabled.pixel(12, 12)), qRound(255 * 0.35)) << dark;
    }
    // A contact sheet of the whole set, light over dark, to look at.
    const QStringList names = symbolNames();
    QImage sheet(12 * 40, 2 * ((names.size() + 11) / 12) * 40, QImage::Format_ARGB32);
    QPainter painter(&sheet);
    const int rows = (names.size() + 11) / 12;
    for (bool dark : {false, true}) {
        const QPalette palette = windowPalette(dark);
        painter.fillRect(0, dark * rows * 40, sheet.width(), rows * 40, palette.color(QPalette::Window));
        for (int i = 0; i < names.size(); ++i)
            paintSymbol(painter, QRectF(i % 12 * 40 + 8, (dark * rows + i / 12) * 40 + 8, 24, 24), names[i],
                        palette.color(QPalette::WindowText));
    }
    painter.end();
    saveTestArtifact(sheet, "symbol-set");
    QApplication::setPalette(before);
}

TEST(SymbolIcon, PixmapsHaveTheDevicesPixelsAndKeepTheirPointSize)
{
    const QIcon icon = symbolIcon("stop.fill", Qt::black);
    for (double ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
        const QPixmap pixmap = icon.pixmap(QSize(10, 10), ratio);
        EXPECT_EQ(pixmap.size(), QSize(10, 10) * ratio) << ratio;
        EXPECT_NEAR(pixmap.deviceIndependentSize().width(), 10, 0.5) << ratio;
    }
}
