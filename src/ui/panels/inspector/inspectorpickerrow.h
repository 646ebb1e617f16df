#pragma once

#include "base/textenum.h"

#include <QWidget>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QVBoxLayout;

namespace routereel {

class CheckedTabStop;

// A caption over a row of segments, one of which is chosen. Only a change of
// the choice by the user is written: clicking the chosen segment again, or
// showing a stored value, writes nothing.
class InspectorPickerRow : public QWidget {
    Q_OBJECT

public:
    struct Segment {
        const char *text;
        bool translated; // false: shown as it is, in every language
    };

    // `read` gives the index of the chosen segment; `write` gets the index the user chose.
    InspectorPickerRow(const char *caption, const QList<Segment> &segments, std::function<int()> read,
                       std::function<void(int)> write, QWidget *parent = nullptr);

    // One segment per case of an enumeration, labelled with its stored text.
    template <typename E>
    static InspectorPickerRow *forEnum(const char *caption, std::function<E()> read, std::function<void(E)> write,
                                       QWidget *parent = nullptr)
    {
        QList<Segment> segments;
        for (const auto &[value, text] : TextEnum<E>::cases)
            segments.append({text, false});
        return new InspectorPickerRow(
            caption, segments, [read] { return int(enumCases<E>().indexOf(read())); },
            [write](int index) { write(enumCases<E>().value(index)); }, parent);
    }

    void refresh();

    QAbstractButton *segment(int index) const;
    // Further lines go under the segments with the row's spacing.
    QVBoxLayout *rowLayout() const { return m_layout; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();

    const char *m_caption;
    QList<Segment> m_segments;
    std::function<int()> m_read;
    QVBoxLayout *m_layout;
    QLabel *m_captionLabel;
    QButtonGroup *m_group;
    CheckedTabStop *m_tabStop = nullptr;
};

} // namespace routereel
