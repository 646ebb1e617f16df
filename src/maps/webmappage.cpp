#include "maps/webmappage.h"

#include <mutex>

namespace routereel {

namespace {
std::mutex factoryLock;
WebMapPageFactory &factoryStore()
{
    static WebMapPageFactory factory;
    return factory;
}
} // namespace

void setWebMapPageFactory(WebMapPageFactory factory)
{
    std::lock_guard lock(factoryLock);
    factoryStore() = std::move(factory);
}

WebMapPageFactory webMapPageFactory()
{
    std::lock_guard lock(factoryLock);
    return factoryStore();
}

} // namespace routereel
