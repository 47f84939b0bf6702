// Runs whole dialogues one after another through the stand-in host, offscreen, and prints what
// they cost as "key=value" lines: under callgrind the instructions of N dialogues less those
// of none, on its own the resident memory of a long run and, in the _heap build, every heap
// allocation made per dialogue.
//
//   tavrin_dialogues [--dialogues N]
//
// One dialogue runs first in every case, so that what only the first dialogue pays (forms,
// fonts, translations) is the same in a run of 0 and a run of N.

#include "benchterminal.h"
#ifdef TAVRIN_COUNT_HEAP
#include "heapcounter.h"
#endif

#include <QtCore/QFile>
#include <QtWidgets/QApplication>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long maxResidentKiB()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int usage(const char *program)
{
    std::fprintf(stderr, "usage: %s [--dialogues N]\n", program);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    long dialogues = 100;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dialogues") == 0 && i + 1 < argc) {
            char *end = nullptr;
            dialogues = std::strtol(argv[++i], &end, 10);
            if (*end || dialogues < 0)
                return usage(argv[0]);
        } else {
            return usage(argv[0]);
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    BenchTerminal terminal;
    if (!terminal.load() || !terminal.runDialogue()) {
        std::fprintf(stderr, "dialogue failed: %s\n", qPrintable(terminal.errorString()));
        return 1;
    }

    const long residentAfterFirst = residentKiB();
#ifdef TAVRIN_COUNT_HEAP
    const HeapCounter::Totals before = HeapCounter::totals();
#endif
    for (long i = 0; i < dialogues; ++i) {
        if (!terminal.runDialogue()) {
            std::fprintf(stderr, "dialogue %ld failed: %s\n", i + 1,
                         qPrintable(terminal.errorString()));
            return 1;
        }
    }
#ifdef TAVRIN_COUNT_HEAP
    const HeapCounter::Totals after = HeapCounter::totals();
#endif

    std::printf("dialogues=%ld\n", dialogues);
    std::printf("resident_after_first_kib=%ld\n", residentAfterFirst);
    std::printf("resident_end_kib=%ld\n", residentKiB());
    std::printf("peak_resident_kib=%ld\n", maxResidentKiB());
#ifdef TAVRIN_COUNT_HEAP
    std::printf("heap_allocations=%lld\n", after.allocations - before.allocations);
    std::printf("heap_requested_bytes=%lld\n", after.requestedBytes - before.requestedBytes);
    std::printf("heap_live_growth_bytes=%lld\n", after.liveBytes - before.liveBytes);
#endif
    return 0;
}
