#include "benchcommand.h"

#include <QApplication>

#include <cstdio>
#include <map>

namespace routereel::bench {
namespace {

struct Entry {
    QString usage;
    Command command;
};

std::map<QString, Entry> &commands()
{
    static std::map<QString, Entry> table;
    return table;
}

} // namespace

bool registerCommand(const char *name, const char *usage, Command command)
{
    commands()[QString::fromUtf8(name)] = {QString::fromUtf8(usage), std::move(command)};
    return true;
}

} // namespace routereel::bench

int main(int argc, char *argv[])
{
    using namespace routereel::bench;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("routereel"));

    QStringList args = app.arguments().mid(1);
    const auto it = args.isEmpty() ? commands().end() : commands().find(args.first());
    if (it == commands().end()) {
        std::fprintf(stderr, "usage: routereel-bench COMMAND ARGS...\n");
        for (const auto &[name, entry] : commands())
            std::fprintf(stderr, "  %s %s\n", qPrintable(name), qPrintable(entry.usage));
        return 2;
    }
    args.removeFirst();
    return it->second.command(args);
}
