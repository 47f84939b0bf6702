#ifndef OPTIONVALUES_H
#define OPTIONVALUES_H

#include <QtCore/QCommandLineOption>
#include <QtCore/QString>
#include <QtCore/QStringList>

class QCommandLineParser;

// What the programs' command lines have in common: the parse that shows --help and refuses
// stray arguments, and the numbers they take, refused in the same words everywhere. None lets
// "nan" or "inf" through, which QString::toDouble() takes.
namespace OptionValues {

// Parses arguments (argv with the program's name first); --help is shown and the program ends.
// False, with *error set, on an unknown option or a positional argument.
bool parse(QCommandLineParser &parser, const QStringList &arguments, QString *error);

// --time-scale, the factor every program's waits are multiplied by; description says what it
// scales there and its default.
QCommandLineOption timeScaleOption(const QString &description);

// The time scale: a factor above 0 and up to 100. *value is left alone when the option is not set.
bool readTimeScale(const QCommandLineParser &parser, const QCommandLineOption &option, double *value,
                   QString *error);

// A whole number from minimum to maximum (INT_MAX: no upper bound); *value is left alone when
// the option is not set.
bool readWholeNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int minimum,
                     int maximum, int *value, QString *error);

} // namespace OptionValues

#endif // OPTIONVALUES_H
