#pragma once

#include <QStringList>

#include <functional>

namespace routereel::bench {

// A subcommand: gets its arguments (after its name), returns the exit code.
using Command = std::function<int(const QStringList &args)>;

// Registers a subcommand at static-initialisation time:
//   static const bool registered = registerCommand("tracks", "FILE...", run);
bool registerCommand(const char *name, const char *usage, Command command);

} // namespace routereel::bench
