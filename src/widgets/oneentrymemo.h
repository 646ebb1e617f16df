#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace routereel {

// Remembers the last answer and the key it was computed for. Safe from any thread:
// the preview and an export may ask at once.
template <typename Key, typename Value>
class OneEntryMemo {
public:
    template <typename Compute>
    Value get(Key key, Compute compute)
    {
        {
            std::lock_guard guard(lock);
            if (rememberedKey && *rememberedKey == key)
                return value;
        }
        // Computed outside the lock: two threads may both compute; equal keys give equal results.
        Value computed = compute();
        std::lock_guard guard(lock);
        rememberedKey = std::move(key);
        value = computed;
        return computed;
    }

private:
    std::mutex lock;
    std::optional<Key> rememberedKey;
    Value value{};
};

} // namespace routereel
