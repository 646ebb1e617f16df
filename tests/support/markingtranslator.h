#pragma once

#include <QCoreApplication>
#include <QTranslator>

namespace testsupport {

// Marks every text that goes through the translation tables while it is installed.
class MarkingTranslator : public QTranslator {
public:
    MarkingTranslator() { QCoreApplication::installTranslator(this); }
    ~MarkingTranslator() override { QCoreApplication::removeTranslator(this); }
    QString translate(const char *, const char *sourceText, const char *, int) const override
    {
        return QStringLiteral("<zh>") + QString::fromUtf8(sourceText);
    }
    bool isEmpty() const override { return false; }
};

} // namespace testsupport
