#ifndef PROGRAMLOG_H
#define PROGRAMLOG_H

#include <QtCore/QString>

// How a program that plays scenarios talks on standard error: warnings always, debug lines
// only with --verbose, so that what it prints on standard output (a transcript, a report)
// stays readable; and a refusal of its settings, named after the program, with exit code 2.
class ProgramLog
{
public:
    // Reads --verbose from the command line and installs the message handler.
    static void install(const char *program, int argc, char *argv[]);
    // Says why the program cannot run; returns its exit code.
    static int refuse(const QString &message);
};

#endif // PROGRAMLOG_H
