#include "optionvalues.h"

#include <QtCore/QCommandLineParser>

#include <climits>

namespace OptionValues {

bool parse(QCommandLineParser &parser, const QStringList &arguments, QString *error)
{
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"; see --help").arg(parser.positionalArguments().constFirst());
        return false;
    }
    return true;
}

QCommandLineOption timeScaleOption(const QString &description)
{
    return QCommandLineOption(QStringLiteral("time-scale"), description, QStringLiteral("factor"));
}

bool readTimeScale(const QCommandLineParser &parser, const QCommandLineOption &option, double *value,
                   QString *error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double factor = parser.value(option).toDouble(&ok);
    // Written so that "nan" is refused too.
    if (!ok || !(factor > 0 && factor <= 100)) {
        *error = QStringLiteral("--%1 takes a factor above 0 and up to 100, not \"%2\"")
                     .arg(option.names().constFirst(), parser.value(option));
        return false;
    }
    *value = factor;
    return true;
}

bool readWholeNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int minimum,
                     int maximum, int *value, QString *error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < minimum || number > maximum) {
        const QString range = maximum == INT_MAX ? QStringLiteral("from %1 on").arg(minimum)
                                                 : QStringLiteral("from %1 to %2").arg(minimum).arg(maximum);
        *error = QStringLiteral("--%1 takes a whole number %2, not \"%3\"")
                     .arg(option.names().constFirst(), range, parser.value(option));
        return false;
    }
    *value = number;
    return true;
}

} // namespace OptionValues
