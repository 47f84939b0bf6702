#include "brokeroptions.h"
#include "brokerservice.h"
#include "checkservice.h"
#include "optionvalues.h"
#include "scenarioparser.h"
#include "stopsignals.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QJsonDocument>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTextStream>

#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

int refuse(const QString &message)
{
    std::fprintf(stderr, "tavrin-checkservice: %s\n", message.toLocal8Bit().constData());
    return 2;
}

// The service on a broker: answers every request on its reply-to until stopped by a signal or
// until the requests asked for are answered. Its log, on standard output, shows what crosses
// the broker.
int runOnBroker(const CheckServiceBehaviour &behaviour, CheckServiceBehaviour::Fault fault,
                double timeScale, const StompBus::Settings &settings, int requestLimit,
                const QString &description)
{
    QTextStream out(stdout);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif
    BrokerService broker(behaviour, settings);
    broker.service()->setTimeScale(timeScale);
    broker.service()->setFault(fault);
    broker.setRequestLimit(requestLimit);
    QObject::connect(&broker, &BrokerService::logLine, [&out](const QString &tag, const QString &text) {
        out << (QLatin1Char('[') + tag + QLatin1Char(']')).leftJustified(11) << text << '\n';
        out.flush();
    });
    QObject::connect(&broker, &BrokerService::finished, QCoreApplication::instance(), [] {
        QCoreApplication::exit(0);
    });
    QObject::connect(&broker, &BrokerService::refused, QCoreApplication::instance(), [](const QString &reason) {
        refuse(reason);
        QCoreApplication::exit(2);
    });

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &broker, [&](int signalNumber) {
        if (stopSignals.count() > 1) {
            // Asked twice: the clean stop is taking too long for whoever sends the signals.
            out << "[service]  stopped at once by signal " << signalNumber << '\n';
            out.flush();
            QCoreApplication::exit(1);
            return;
        }
        out << "[service]  stopping on signal " << signalNumber << '\n';
        out.flush();
        broker.stop();
    });

    out << "[service]  on " << description << '\n';
    out.flush();
    QString error;
    if (!broker.open(&error))
        return refuse(QStringLiteral("cannot use the broker: %1").arg(error));
    return QCoreApplication::exec();
}

} // namespace

// The check service of a scenario on standard input and output: each line in is one check
// request as JSON, each line out one answer, written when the service's delay is over. A line
// that is not a JSON object reaches the service as an empty request, which it answers as one it
// cannot read. The program ends when the input has ended and every answer is out. With
// --broker the service answers on a broker instead.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-checkservice"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Answers check requests, one JSON object per line on standard input, as the service of "
        "a scenario file does; the answers go to standard output, the service's notes to "
        "standard error. With --broker it takes the requests from a STOMP broker instead and "
        "answers each on its reply-to destination, logging what crosses the broker on standard "
        "output, until SIGTERM or SIGINT (or --requests) ends it."));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("The scenario whose service answers."),
                                            QStringLiteral("file"));
    const QCommandLineOption scaleOption =
        OptionValues::timeScaleOption(QStringLiteral("Factor for the service's delays (default 1)."));
    const QCommandLineOption requestsOption(QStringLiteral("requests"),
        QStringLiteral("With --broker: ends once this many requests are answered (default: runs "
                       "until SIGTERM or SIGINT)."), QStringLiteral("count"));
    QStringList faults;
    for (const auto &fault : CheckServiceBehaviour::faultDescriptions())
        faults.append(QStringLiteral("\"%1\" %2").arg(fault.first, fault.second));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
        QStringLiteral("Breaks the rules a terminal relies on, for trying a checker: %1.")
            .arg(faults.join(QStringLiteral("; "))),
        QStringLiteral("name"));
    parser.addOptions({scenarioOption, scaleOption, requestsOption, faultOption});
    BrokerOptions brokerOptions(BrokerOptions::Side::Service);
    parser.addOptions(brokerOptions.options());
    parser.process(app);

    Scenario scenario;
    QString error;
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument \"%1\"; see --help")
                          .arg(parser.positionalArguments().first()));
    if (!brokerOptions.read(parser, &error))
        return refuse(error);
    if (!parser.isSet(scenarioOption))
        return refuse(QStringLiteral("--scenario is required"));
    if (!ScenarioParser::parseFile(parser.value(scenarioOption), &scenario, &error))
        return refuse(QStringLiteral("scenario %1: %2").arg(parser.value(scenarioOption), error));
    double scale = 1.0;
    if (!OptionValues::readTimeScale(parser, scaleOption, &scale, &error))
        return refuse(error);
    if (parser.isSet(requestsOption) && !brokerOptions.isEnabled())
        return refuse(QStringLiteral("--requests needs --broker"));
    int requestLimit = 0;
    if (!OptionValues::readWholeNumber(parser, requestsOption, 1, INT_MAX, &requestLimit, &error))
        return refuse(error);
    CheckServiceBehaviour::Fault fault = CheckServiceBehaviour::Fault::None;
    if (parser.isSet(faultOption)
        && !CheckServiceBehaviour::faultFromName(parser.value(faultOption), &fault)) {
        QStringList names;
        for (const auto &known : CheckServiceBehaviour::faultDescriptions())
            names.append(known.first);
        return refuse(QStringLiteral("--fault takes one of %1, not \"%2\"")
                          .arg(names.join(QStringLiteral(", ")), parser.value(faultOption)));
    }
    if (brokerOptions.isEnabled())
        return runOnBroker(scenario.service, fault, scale, brokerOptions.settings(), requestLimit,
                           brokerOptions.describe());

    CheckService service(scenario.service);
    service.setTimeScale(scale);
    service.setFault(fault);

    QTextStream out(stdout);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif
    bool inputEnded = false;
    const auto quitWhenDone = [&] {
        if (inputEnded && service.pendingAnswers() == 0)
            QCoreApplication::quit();
    };
    QObject::connect(&service, &CheckService::answerReady, &app, [&](const QVariantMap &answer) {
        out << QJsonDocument::fromVariant(answer).toJson(QJsonDocument::Compact) << '\n';
        out.flush();
        quitWhenDone();
    });
    QObject::connect(&service, &CheckService::noted, &app, [](const QString &note) {
        std::fprintf(stderr, "[service] %s\n", note.toLocal8Bit().constData());
    });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got > 0)
            pending.append(buffer, int(got));
        int end;
        while ((end = pending.indexOf('\n')) >= 0 || (got <= 0 && !pending.isEmpty())) {
            const QByteArray line = end >= 0 ? pending.left(end) : pending;
            pending.remove(0, end >= 0 ? end + 1 : pending.size());
            if (line.trimmed().isEmpty())
                continue;
            const QJsonDocument document = QJsonDocument::fromJson(line);
            if (!document.isObject())
                std::fprintf(stderr, "[input] not a JSON object: %s\n", line.constData());
            service.handleRequest(document.toVariant().toMap());
        }
        if (got <= 0) {
            input.setEnabled(false);
            inputEnded = true;
            quitWhenDone();
        }
    });
    return app.exec();
}
