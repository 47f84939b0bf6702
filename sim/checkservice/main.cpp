#include "checkservice.h"
#include "scenarioparser.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QJsonDocument>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTextStream>

#include <cstdio>
#include <unistd.h>

// The check service of a scenario on standard input and output: each line in is one check
// request as JSON, each line out one answer, written when the service's delay is over. A line
// that is not a JSON object reaches the service as an empty request, which it answers as one it
// cannot read. The program ends when the input has ended and every answer is out.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrin-checkservice"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Answers check requests, one JSON object per line on standard input, as the service of "
        "a scenario file does; the answers go to standard output, the service's notes to "
        "standard error."));
    parser.addHelpOption();
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("The scenario whose service answers."),
                                            QStringLiteral("file"));
    const QCommandLineOption scaleOption(QStringLiteral("time-scale"),
                                         QStringLiteral("Factor for the service's delays (default 1)."),
                                         QStringLiteral("factor"));
    parser.addOptions({scenarioOption, scaleOption});
    parser.process(app);

    Scenario scenario;
    QString error;
    if (!parser.isSet(scenarioOption)) {
        std::fprintf(stderr, "tavrin-checkservice: --scenario is required\n");
        return 2;
    }
    if (!ScenarioParser::parseFile(parser.value(scenarioOption), &scenario, &error)) {
        std::fprintf(stderr, "tavrin-checkservice: scenario %s: %s\n",
                     qPrintable(parser.value(scenarioOption)), error.toLocal8Bit().constData());
        return 2;
    }
    CheckService service(scenario.service);
    if (parser.isSet(scaleOption)) {
        bool ok = false;
        const double scale = parser.value(scaleOption).toDouble(&ok);
        if (!ok || scale <= 0) {
            std::fprintf(stderr, "tavrin-checkservice: --time-scale takes a factor above 0\n");
            return 2;
        }
        service.setTimeScale(scale);
    }

    QTextStream out(stdout);
    out.setCodec("UTF-8");
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
