#include "pluginarguments.h"

#include <cstring>

QStringList PluginArguments::take(int *argc, char **argv)
{
    QStringList taken;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (!std::strcmp(argv[i], "--plugin")) {
            taken.append(QStringLiteral("--plugin"));
            if (i + 1 < *argc)
                taken.append(QString::fromLocal8Bit(argv[++i]));
        } else if (!std::strncmp(argv[i], "--plugin=", 9)) {
            taken.append(QString::fromLocal8Bit(argv[i]));
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    argv[kept] = nullptr;
    return taken;
}
