#include "errorpresentation.h"

#include "projectalerts.h"

#include <QList>
#include <QTextBoundaryFinder>

#include <algorithm>

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

// Offsets (in code units) of every user-perceived character's start, and the text's end.
QList<qsizetype> graphemeStarts(QStringView text)
{
    QList<qsizetype> starts{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.toString());
    while (finder.toNextBoundary() != -1)
        starts.append(finder.position());
    if (text.isEmpty())
        starts = {0};
    return starts;
}

struct Span {
    qsizetype from = 0;
    qsizetype to = 0;
};

// The file paths a title names: quoted text that holds a slash, or a word that starts with one.
QList<Span> pathsIn(const QString &title)
{
    static const QList<QPair<QChar, QChar>> quotes{{u'"', u'"'}, {QChar(0x201C), QChar(0x201D)},
                                                   {QChar(0x300C), QChar(0x300D)}};
    QList<Span> spans;
    for (qsizetype i = 0; i < title.size(); ++i) {
        bool quoted = false;
        for (const auto &[open, close] : quotes) {
            if (title.at(i) != open)
                continue;
            const qsizetype end = title.indexOf(close, i + 1);
            if (end < 0)
                break;
            if (QStringView(title).mid(i + 1, end - i - 1).contains(u'/')) {
                spans.append({i + 1, end});
                i = end;
                quoted = true;
            }
            break;
        }
        if (quoted)
            continue;
        if (title.at(i) == u'/' && (i == 0 || title.at(i - 1).isSpace())) {
            qsizetype end = i;
            while (end < title.size() && !title.at(end).isSpace())
                ++end;
            qsizetype pathEnd = end;
            // Punctuation after a path ("...: the reason") is the sentence's.
            while (pathEnd > i + 1 && QStringLiteral(":,;").contains(title.at(pathEnd - 1)))
                --pathEnd;
            spans.append({i, pathEnd});
            i = end;
        }
    }
    return spans;
}

// A path shortened in its middle to `keep` characters and an ellipsis, its end
// (the file's name) kept first.
QString middleShortened(QStringView path, int keep)
{
    const QList<qsizetype> starts = graphemeStarts(path);
    const int length = int(starts.size()) - 1;
    const qsizetype lastSlash = path.lastIndexOf(u'/');
    const int nameLength = int(std::count_if(starts.begin(), starts.end() - 1,
                                             [&](qsizetype at) { return at >= lastSlash; }));
    const int head = std::max(keep / 3, keep - nameLength);
    const int tail = keep - head;
    return path.left(starts.at(head)).toString() + QChar(0x2026) + path.mid(starts.at(length - tail)).toString();
}

// A title that names a long path loses the path's middle, not its end: the reason
// comes after the path. The longest paths are shortened first, none below 16 characters.
QString withShortenedPaths(const QString &title)
{
    constexpr int shortestPath = 16;
    const auto lengthOf = [](QStringView text) { return int(graphemeStarts(text).size()) - 1; };
    int over = lengthOf(title) - maxTitleCharacters;
    if (over <= 0)
        return title;
    struct Cut {
        Span span;
        int length = 0;
        int keep = 0;
    };
    QList<Cut> cuts;
    for (const Span &span : pathsIn(title))
        cuts.append({span, lengthOf(QStringView(title).mid(span.from, span.to - span.from))});
    std::stable_sort(cuts.begin(), cuts.end(), [](const Cut &a, const Cut &b) { return a.length > b.length; });
    for (Cut &cut : cuts) {
        // The ellipsis takes one character's place.
        cut.keep = std::max(shortestPath - 1, cut.length - over - 1);
        if (over <= 0 || cut.keep + 1 >= cut.length) {
            cut.keep = cut.length;
            continue;
        }
        over -= cut.length - cut.keep - 1;
    }
    std::sort(cuts.begin(), cuts.end(), [](const Cut &a, const Cut &b) { return a.span.from > b.span.from; });
    QString text = title;
    for (const Cut &cut : cuts) {
        if (cut.keep < cut.length) {
            const QStringView path = QStringView(title).mid(cut.span.from, cut.span.to - cut.span.from);
            text = text.left(cut.span.from) + middleShortened(path, cut.keep) + text.mid(cut.span.to);
        }
    }
    return text;
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
    title = withShortenedPaths(title);
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
