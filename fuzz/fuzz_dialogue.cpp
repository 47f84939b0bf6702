// The whole dialogue driven by fuzzer bytes: the handler in a terminal made of the host
// stand-in, under one QApplication, with events decoded from the input (see DialogueRig for
// the events and what is checked after each).

#include <QtCore/QByteArray>
#include <QtWidgets/QApplication>

#include <cstddef>
#include <cstdint>

#include "dialoguerig.h"
#include "fuzzinput.h"
#include "fuzzsupport.h"

namespace {

// Long enough for several dialogues in a row, short enough to keep runs fast.
const int MaxEvents = 200;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    FuzzSupport::silenceLogging();
    // Qt takes the arguments it knows out of argv: it gets a list of its own, libFuzzer's
    // flags stay libFuzzer's.
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    Q_UNUSED(argc);
    static QApplication application(qtArgc, qtArgv);
    Q_UNUSED(application);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    DialogueRig rig;
    for (int i = 0; i < MaxEvents && !in.atEnd(); ++i)
        rig.play(in);
    rig.finish();
    return 0;
}
