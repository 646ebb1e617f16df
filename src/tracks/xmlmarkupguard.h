#pragma once

#include <QIODevice>
#include <QString>

#include <optional>

namespace routereel {

// Sits between a track file and the XML parser and stops the stream before
// the parser meets markup that would cost it far more than the file's size:
// an element with more attributes than any track file gives one (the parser
// compares each attribute with every earlier one of its element), or a
// document type with an internal subset (attribute defaults the parser
// applies to every element, entities that expand a thousandfold). It reads the
// bytes once, as they pass, and knows just enough XML to tell tags, quoted
// values, comments, CDATA sections and processing instructions apart.
//
// It also ends the stream at the source's first failed read and keeps its
// reason: the XML parser takes a failed read for the end of the data and, asked
// whether the stream is over, would otherwise ask a source that never gets there.
class XmlMarkupGuard : public QIODevice {
public:
    enum class Refusal { none, tooManyAttributes, internalSubset };

    // Real files give an element a dozen attributes at most.
    static constexpr int maximumAttributesPerElement = 64;

    // `source` must be open for reading.
    explicit XmlMarkupGuard(QIODevice *source);

    Refusal refusal() const { return m_refusal; }
    // The source's error string once a read of it failed.
    const std::optional<QString> &readFailure() const { return m_readFailure; }
    bool isSequential() const override { return true; }
    bool atEnd() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    enum class State { text, afterLessThan, bang, tag, comment, cdata, instruction, doctype };
    // Takes one byte; false once the stream is refused.
    bool feed(char c);

    QIODevice *m_source;
    Refusal m_refusal = Refusal::none;
    std::optional<QString> m_readFailure;
    bool m_sourceEnded = false; // a read gave nothing
    State m_state = State::text;
    char m_quote = 0;       // the open quote inside a tag or declaration, or 0
    int m_equals = 0;       // '=' signs of the current tag outside quoted values
    QByteArray m_bang;      // what follows "<!", until it names a comment, CDATA or DOCTYPE
    int m_closing = 0;      // '-' or ']' seen just before a possible end of comment or CDATA
    char m_previous = 0;
};

} // namespace routereel
