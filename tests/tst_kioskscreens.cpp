#include <QtCore/QDir>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>
#include <QtCore/QRect>
#include <QtTest/QtTest>

#include <algorithm>

namespace {

const QChar Ellipsis(0x2026);

// The texts a scenario brings to the screen (provider, service, SMS), which stay as the service
// sends them whatever the kiosk's language; the service's own step errors besides.
QStringList scenarioTexts(const QJsonValue &value)
{
    QStringList texts;
    if (value.isString()) {
        texts << value.toString();
        // A choice's detail over several lines is shown on one.
        if (value.toString().contains(QLatin1String("\r\n")))
            texts << value.toString().replace(QLatin1String("\r\n"), QLatin1String(", "));
    } else if (value.isArray()) {
        for (const QJsonValue &item : value.toArray())
            texts << scenarioTexts(item);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            texts << scenarioTexts(it.value());
    }
    return texts;
}

// What is left of text once the scenario's own texts are taken out, also where a long one was
// cut short with "…".
QString ownText(QString text, const QStringList &data)
{
    // Personal data is shown masked, with its last characters.
    static const QRegularExpression masked(QStringLiteral("^\\*+(.+)$"));
    const QRegularExpressionMatch mask = masked.match(text);
    if (mask.hasMatch()) {
        const QString tail = mask.captured(1);
        if (std::any_of(data.cbegin(), data.cend(), [&tail](const QString &known) { return known.endsWith(tail); }))
            return QString();
    }
    for (const QString &known : data) {
        if (!known.isEmpty())
            text.replace(known, QString());
    }
    for (int cut = text.indexOf(Ellipsis); cut >= 0; cut = text.indexOf(Ellipsis)) {
        QString before = text.left(cut).trimmed();
        for (int from = 0; from < before.size(); ++from) {
            const QString tail = before.mid(from);
            if (std::any_of(data.cbegin(), data.cend(), [&tail](const QString &known) { return known.startsWith(tail); })) {
                before.truncate(from);
                break;
            }
        }
        text = before + text.mid(cut + 1);
    }
    return text;
}

} // namespace

// Every shipped scenario played in each language of the kiosk, looked at as a customer looks at
// the screen: from the description the simulator writes beside each screenshot.
class tst_KioskScreens : public QObject
{
    Q_OBJECT

private slots:
    void everyScreenHolds_data();
    void everyScreenHolds();
};

void tst_KioskScreens::everyScreenHolds_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("language");

    const QDir dir(QStringLiteral(TAVRIN_SCENARIO_PATH));
    const QStringList files = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    QVERIFY2(files.size() > 5, qPrintable(dir.path()));
    for (const QString &file : files) {
#ifdef TAVRIN_KIOSK_ONLY_SCENARIO
        if (file != QLatin1String(TAVRIN_KIOSK_ONLY_SCENARIO))
            continue;
#endif
        for (const QString &language : {QStringLiteral("ru"), QStringLiteral("en")})
            QTest::addRow("%s in %s", qPrintable(file), qPrintable(language)) << dir.filePath(file) << language;
    }
}

void tst_KioskScreens::everyScreenHolds()
{
    QFETCH(QString, scenario);
    QFETCH(QString, language);

    QTemporaryDir shots;
    QVERIFY(shots.isValid());
    QProcess terminal;
    terminal.setProcessChannelMode(QProcess::MergedChannels);
    terminal.start(QStringLiteral(TAVRIN_TERMINAL_PATH),
                   {QStringLiteral("--headless"), QStringLiteral("--time-scale"), QStringLiteral("0.05"),
                    QStringLiteral("--language"), language, QStringLiteral("--screenshots"), shots.path(),
                    QStringLiteral("--scenario"), scenario});
    QVERIFY2(terminal.waitForFinished(60000), "the terminal did not finish");
    const QByteArray transcript = terminal.readAll();
    QVERIFY2(terminal.exitStatus() == QProcess::NormalExit && terminal.exitCode() == 0, transcript.constData());

    QFile scenarioFile(scenario);
    QVERIFY(scenarioFile.open(QIODevice::ReadOnly));
    QStringList data = scenarioTexts(QJsonDocument::fromJson(scenarioFile.readAll()).object());
    data << QStringLiteral("Неверный код подтверждения") << QStringLiteral("Абонент не найден");
    std::sort(data.begin(), data.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));

    const QDir dir(shots.path());
    const QStringList descriptions = dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    QVERIFY2(!descriptions.isEmpty(), "no screenshot descriptions");
    QStringList faults;
    for (const QString &name : descriptions) {
        QVERIFY2(QFileInfo::exists(dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".png"))),
                 qPrintable(name));
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject screen = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonObject window = screen.value(QStringLiteral("window")).toObject();
        const QRect windowRect(0, 0, window.value(QStringLiteral("width")).toInt(),
                               window.value(QStringLiteral("height")).toInt());
        QVERIFY2(windowRect.width() >= 800 && windowRect.height() >= 600, qPrintable(name));

        // Every screen has the customer's phone below it, and an input screen its Next button.
        QStringList names;
        for (const QJsonValue &value : screen.value(QStringLiteral("widgets")).toArray())
            names << value.toObject().value(QStringLiteral("name")).toString();
        if (!names.contains(QLatin1String("phoneLine"))
            || (name.contains(QLatin1String("-screen-")) && !names.contains(QLatin1String("nextButton"))))
            faults << QStringLiteral("%1 leaves out what the window shows: %2").arg(name, names.join(QLatin1Char(' ')));

        QList<QPair<QString, QRect>> buttons;
        QList<QPair<QString, QRect>> others;
        QStringList texts{window.value(QStringLiteral("title")).toString()};
        for (const QJsonValue &value : screen.value(QStringLiteral("widgets")).toArray()) {
            const QJsonObject widget = value.toObject();
            const QString id = name + QLatin1Char(' ') + widget.value(QStringLiteral("name")).toString();
            const QRect rect(widget.value(QStringLiteral("x")).toInt(), widget.value(QStringLiteral("y")).toInt(),
                             widget.value(QStringLiteral("width")).toInt(), widget.value(QStringLiteral("height")).toInt());
            const QString className = widget.value(QStringLiteral("class")).toString();
            texts << widget.value(QStringLiteral("text")).toString();
            if (className.endsWith(QLatin1String("Button"))) {
                if (rect.width() < 40 || rect.height() < 40)
                    faults << QStringLiteral("%1 is only %2x%3").arg(id).arg(rect.width()).arg(rect.height());
                if (!windowRect.contains(rect))
                    faults << QStringLiteral("%1 is outside the window").arg(id);
                buttons.append({id, rect});
            } else if (className == QLatin1String("QLabel") || className == QLatin1String("QLineEdit")
                       || className == QLatin1String("QListWidget")) {
                others.append({id, rect});
            }
        }
        for (int i = 0; i < buttons.size(); ++i) {
            for (int j = i + 1; j < buttons.size(); ++j) {
                if (buttons.at(i).second.intersects(buttons.at(j).second))
                    faults << buttons.at(i).first + QStringLiteral(" overlaps ") + buttons.at(j).first;
            }
            for (const auto &other : qAsConst(others)) {
                if (buttons.at(i).second.intersects(other.second))
                    faults << buttons.at(i).first + QStringLiteral(" overlaps ") + other.first;
            }
        }
        if (language != QLatin1String("ru")) {
            for (const QString &text : qAsConst(texts)) {
                if (ownText(text, data).contains(cyrillic))
                    faults << QStringLiteral("%1 shows Russian: %2").arg(name, text);
            }
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(tst_KioskScreens)
#include "tst_kioskscreens.moc"
