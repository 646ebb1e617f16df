#include "xmlmarkupguard.h"

#include <cstring>
#include <utility>

namespace routereel {

XmlMarkupGuard::XmlMarkupGuard(QIODevice *source) : m_source(source)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

bool XmlMarkupGuard::atEnd() const
{
    return m_refusal != Refusal::none || m_readFailure || m_sourceEnded || m_source->atEnd();
}

qint64 XmlMarkupGuard::readData(char *data, qint64 maxSize)
{
    if (m_refusal != Refusal::none || m_readFailure)
        return -1;
    if (m_sourceEnded)
        return 0;
    const qint64 n = m_source->read(data, maxSize);
    if (n < 0) {
        m_readFailure = m_source->errorString();
        return -1;
    }
    if (n == 0 && maxSize > 0)
        m_sourceEnded = true;
    const char *p = data;
    const char *const end = data + n;
    while (p < end) {
        // Character data and quoted values hold nothing to count: skip to where they end.
        const char stop = m_state == State::text ? '<' : m_state == State::tag ? m_quote : 0;
        if (stop) {
            p = static_cast<const char *>(std::memchr(p, stop, std::size_t(end - p)));
            if (!p)
                break;
        }
        if (!feed(*p++))
            return -1;
    }
    return n;
}

bool XmlMarkupGuard::feed(char c)
{
    const char previous = std::exchange(m_previous, c);
    switch (m_state) {
    case State::text:
        if (c == '<')
            m_state = State::afterLessThan;
        break;
    case State::afterLessThan:
        if (c == '!') {
            m_state = State::bang;
            m_bang.clear();
        } else if (c == '?') {
            m_state = State::instruction;
            m_previous = 0;
        } else {
            // A start or end tag; a '<' can stand in no attribute value, so a new one starts afresh.
            m_state = State::tag;
            m_quote = 0;
            m_equals = 0;
            return feed(c);
        }
        break;
    case State::bang:
        m_bang.append(c);
        if (m_bang == "--") {
            m_state = State::comment;
            m_closing = 0;
        } else if (m_bang == "[CDATA[") {
            m_state = State::cdata;
            m_closing = 0;
        } else if (m_bang == "DOCTYPE") {
            m_state = State::doctype;
            m_quote = 0;
        } else if (!QByteArrayLiteral("--").startsWith(m_bang) && !QByteArrayLiteral("[CDATA[").startsWith(m_bang)
                   && !QByteArrayLiteral("DOCTYPE").startsWith(m_bang)) {
            // Any other declaration belongs in a document type, which the parser refuses outside one.
            m_state = State::tag;
            m_quote = 0;
            m_equals = 0;
            return feed(c);
        }
        break;
    case State::tag:
        if (m_quote) {
            if (c == m_quote)
                m_quote = 0;
        } else if (c == '"' || c == '\'') {
            m_quote = c;
        } else if (c == '>') {
            m_state = State::text;
        } else if (c == '<') {
            m_state = State::afterLessThan;
        } else if (c == '=' && ++m_equals > maximumAttributesPerElement) {
            m_refusal = Refusal::tooManyAttributes;
            return false;
        }
        break;
    case State::comment:
        if (c == '>' && m_closing >= 2)
            m_state = State::text;
        m_closing = c == '-' ? m_closing + 1 : 0;
        break;
    case State::cdata:
        if (c == '>' && m_closing >= 2)
            m_state = State::text;
        m_closing = c == ']' ? m_closing + 1 : 0;
        break;
    case State::instruction:
        if (c == '>' && previous == '?')
            m_state = State::text;
        break;
    case State::doctype:
        if (m_quote) {
            if (c == m_quote)
                m_quote = 0;
        } else if (c == '"' || c == '\'') {
            m_quote = c;
        } else if (c == '[') {
            m_refusal = Refusal::internalSubset;
            return false;
        } else if (c == '>') {
            m_state = State::text;
        }
        break;
    }
    return true;
}

} // namespace routereel
