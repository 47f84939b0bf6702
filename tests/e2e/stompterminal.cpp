// The terminal's end of the bus against a real broker: sends one request map through StompBus
// and prints each answer map that comes back as one line of compact JSON, then closes the
// connection cleanly and exits. Used by stomp_interop.py, which plays the check service.
//
//   stompterminal --broker HOST:PORT [--vhost /] [--login L] [--passcode P]
//                 [--requests DEST] --replies DEST --request JSON [--answers 1] [--timeout-ms 20000]
//
// Exit codes: 0 answers printed, 1 bad arguments, 2 no answer in time.

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTimer>

#include <cstdio>

#include "stompbus.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption broker(QStringLiteral("broker"), QStringLiteral("Broker address."), QStringLiteral("HOST:PORT"));
    const QCommandLineOption vhost(QStringLiteral("vhost"), QStringLiteral("Virtual host."), QStringLiteral("name"), QStringLiteral("/"));
    const QCommandLineOption login(QStringLiteral("login"), QStringLiteral("Login."), QStringLiteral("login"));
    const QCommandLineOption passcode(QStringLiteral("passcode"), QStringLiteral("Passcode."), QStringLiteral("passcode"));
    const QCommandLineOption requests(QStringLiteral("requests"), QStringLiteral("Request destination."),
                                      QStringLiteral("destination"), StompBus::Settings::defaultRequestDestination());
    const QCommandLineOption replies(QStringLiteral("replies"), QStringLiteral("Reply destination."), QStringLiteral("destination"));
    const QCommandLineOption request(QStringLiteral("request"), QStringLiteral("Request map as JSON."), QStringLiteral("json"));
    const QCommandLineOption answers(QStringLiteral("answers"), QStringLiteral("Answers to wait for."), QStringLiteral("count"), QStringLiteral("1"));
    const QCommandLineOption timeout(QStringLiteral("timeout-ms"), QStringLiteral("Give up after this long."), QStringLiteral("ms"), QStringLiteral("20000"));
    parser.addOptions({broker, vhost, login, passcode, requests, replies, request, answers, timeout});
    parser.process(app);

    StompBus::Settings settings;
    QString error;
    if (!settings.connection.setBroker(parser.value(broker), &error)) {
        std::fprintf(stderr, "--broker: %s\n", qPrintable(error));
        return 1;
    }
    settings.connection.virtualHost = parser.value(vhost);
    settings.connection.login = parser.value(login);
    settings.connection.passcode = parser.value(passcode);
    settings.requestDestination = parser.value(requests);
    settings.replyDestination = parser.value(replies);
    const QJsonDocument requestDocument = QJsonDocument::fromJson(parser.value(request).toUtf8());
    if (!requestDocument.isObject()) {
        std::fprintf(stderr, "--request: not a JSON object\n");
        return 1;
    }

    StompBus bus(StompBus::TerminalRole, settings);
    int wanted = qMax(1, parser.value(answers).toInt());
    QObject::connect(&bus, &StompBus::messageReceived, &app, [&](const QVariantMap &answer) {
        const QByteArray line = QJsonDocument(QJsonObject::fromVariantMap(answer)).toJson(QJsonDocument::Compact);
        std::fprintf(stdout, "%s\n", line.constData());
        std::fflush(stdout);
        // Closing after the hand-on lets the ACK of this answer go out first.
        if (--wanted == 0)
            QTimer::singleShot(0, &bus, &StompBus::close);
    });
    QObject::connect(bus.client(), &StompClient::closed, &app, [&] { app.exit(wanted == 0 ? 0 : 2); });
    QTimer::singleShot(qMax(1, parser.value(timeout).toInt()), &app, [&] {
        std::fprintf(stderr, "no answer within %s ms\n", qPrintable(parser.value(timeout)));
        app.exit(2);
    });
    if (!bus.open(&error)) {
        std::fprintf(stderr, "cannot open the bus: %s\n", qPrintable(error));
        return 1;
    }
    bus.send(requestDocument.object().toVariantMap());
    return app.exec();
}
