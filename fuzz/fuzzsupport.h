#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// What every fuzz target of the plugin sets up once.
class FuzzSupport
{
public:
    // Drops log output, which would only slow the run down and bury libFuzzer's report; a
    // fatal message still ends the run, so that a failed assertion is reported as a crash.
    static void silenceLogging();
};

#endif // FUZZSUPPORT_H
