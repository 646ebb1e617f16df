#include "rowfit.h"

#include <algorithm>

namespace routereel::rowfit {

namespace {

bool isControl(const Item &item)
{
    return !item.separator && !item.breaksRun;
}

// Separators between shown controls of the same run; the rest of `shown` as given.
void placeSeparators(const QList<Item> &items, QList<bool> &shown)
{
    const qsizetype n = items.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!items[i].separator)
            continue;
        const auto shownControl = [&](qsizetype from, int step) {
            for (qsizetype j = from; j >= 0 && j < n && !items[j].breaksRun; j += step) {
                if (isControl(items[j]) && shown[j])
                    return true;
            }
            return false;
        };
        shown[i] = items[i].wanted && shownControl(i - 1, -1) && shownControl(i + 1, 1);
    }
}

int needed(const QList<Item> &items, const Fit &fit, int spacing, int overflowWidth)
{
    int total = 0;
    int count = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (fit.shown[i] && !items[i].breaksRun) {
            total += fit.widths[i];
            ++count;
        }
    }
    if (fit.overflow) {
        total += overflowWidth;
        ++count;
    }
    return total + spacing * std::max(0, count - 1);
}

} // namespace

Fit fit(const QList<Item> &items, int available, int spacing, int overflowWidth)
{
    Fit result;
    for (const Item &item : items) {
        result.shown << (item.wanted && isControl(item));
        result.widths << item.width;
    }
    QList<int> orders;
    for (const Item &item : items) {
        if (item.wanted && isControl(item) && item.dropOrder >= 0)
            orders << item.dropOrder;
    }
    std::sort(orders.begin(), orders.end());
    orders.erase(std::unique(orders.begin(), orders.end()), orders.end());

    for (qsizetype step = 0;; ++step) {
        placeSeparators(items, result.shown);
        for (qsizetype i = 0; i < items.size(); ++i)
            result.widths[i] = items[i].width;
        int excess = needed(items, result, spacing, overflowWidth) - available;
        for (qsizetype i = 0; i < items.size() && excess > 0; ++i) {
            if (!result.shown[i] || items[i].minimumWidth >= items[i].width)
                continue;
            const int give = std::min(excess, items[i].width - items[i].minimumWidth);
            result.widths[i] -= give;
            excess -= give;
        }
        if (excess <= 0 || step >= orders.size())
            return result;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (result.shown[i] && isControl(items[i]) && items[i].dropOrder == orders[step])
                result.shown[i] = false;
        }
        result.overflow = true;
    }
}

} // namespace routereel::rowfit
