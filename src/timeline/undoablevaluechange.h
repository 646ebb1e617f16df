#pragma once

#include <QUndoCommand>

#include <functional>

namespace routereel {

// One undo step for a value that lives outside the timeline engine. Undo
// writes the old value back; each direction first reads what is current, so
// redo restores exactly what undo replaced.
template <typename T>
class UndoableValueChange : public QUndoCommand {
public:
    UndoableValueChange(const T &newValue, const QString &actionName, std::function<T()> read,
                        std::function<void(const T &)> write)
        : QUndoCommand(actionName), m_other(newValue), m_read(std::move(read)), m_write(std::move(write))
    {
    }

    void undo() override { swap(); }
    void redo() override { swap(); }

private:
    void swap()
    {
        T current = m_read();
        m_write(m_other);
        m_other = std::move(current);
    }

    T m_other;  // the value the next undo or redo writes
    std::function<T()> m_read;
    std::function<void(const T &)> m_write;
};

} // namespace routereel
