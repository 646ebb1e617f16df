#include "errorpresentation.h"

#include "projectalerts.h"

#include <QTextBoundaryFinder>

namespace routereel {

namespace {

constexpr int maxTitleCharacters = 120;

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

bool isBlank(QStringView line)
{
    for (QChar c : line) {
        if (c != QLatin1Char('\t') && c.category() != QChar::Separator_Space)
            return false;
    }
    return true;
}

// The first `count` user-perceived characters, or nothing when the text is not longer.
std::optional<QString> cutToCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (finder.toNextBoundary() != -1) {
        ++seen;
        if (seen == count) {
            const qsizetype end = finder.position();
            if (end >= text.size())
                return std::nullopt;
            return text.left(end);
        }
    }
    return std::nullopt;
}

} // namespace

QString errorAlertTitle(const QString &message)
{
    QString title = message;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= message.size(); ++i) {
        if (i < message.size() && !isLineBreak(message.at(i)))
            continue;
        const QStringView line = QStringView(message).mid(start, i - start);
        if (!isBlank(line)) {
            title = line.toString();
            break;
        }
        start = i + 1;
    }
    if (const auto cut = cutToCharacters(title, maxTitleCharacters))
        return *cut + QStringLiteral("...");
    return title;
}

void presentError(const QString &message, const ErrorLogWriter &logError, ProjectAlerts &alerts)
{
    const QString title = errorAlertTitle(message);
    if (logError)
        logError(title, message);
    alerts.showErrorAlert(title);
}

} // namespace routereel
