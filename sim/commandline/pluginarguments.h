#ifndef PLUGINARGUMENTS_H
#define PLUGINARGUMENTS_H

#include <QtCore/QStringList>

// The programs' own --plugin option, taken out of argv before QGuiApplication would read it as
// its -plugin (a platform plugin) and consume it.
namespace PluginArguments {

// Returns "--plugin" and its value, or "--plugin=VALUE", in order; a "--plugin" without a
// value is returned alone, for the command-line parser to refuse. What stays in argv is moved
// together, *argc counts it, and argv[*argc] is null as in main()'s argv.
QStringList take(int *argc, char **argv);

} // namespace PluginArguments

#endif // PLUGINARGUMENTS_H
