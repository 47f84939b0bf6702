#include <QtCore/QLoggingCategory>
#include <QtTest/QtTest>

#include "dialoguedriver.h"
#include "messagecapture.h"

// What the plugin writes to its log category "tavrin": the tags of one road in their order when
// an operator enables debug output, and no debug line at all by default (the lines carry phone
// numbers, passport data and SMS codes).
class tst_DebugLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLoggingCategory::setFilterRules(QString()); }
    void tagsOfOneRoad();
    void silentByDefault_data();
    void silentByDefault();

private:
    // One whole road, with a rejected second step first when asked; the plugin object is
    // created and deleted inside. Returns the uid of the first request.
    QString runRoad(bool rejectOnce);
};

QString tst_DebugLog::runRoad(bool rejectOnce)
{
    DialogueDriver d;
    if (!d.fixture.isLoaded() || !d.start() || !d.enter("9161234567"))
        return QString();
    const QString uid = d.lastUid();
    QVariantMap patronymic = BusProbe::parameter("patronymic", "patronymic", "sent", false);
    // Far below anything the plugin reads, which is where its debug line stops.
    QVariant nested = "innermost";
    for (int level = 0; level < 1000; ++level)
        nested = QVariantMap{{"below", nested}};
    patronymic.insert("extra", nested);
    d.answerStep(1, true, {BusProbe::parameter("surname", "surname", "sent", true), patronymic,
                           BusProbe::parameter("smscode", "smscode", "sent", true)});
    if (!d.enter("Петров") || !d.enter("1234"))
        return QString();
    if (rejectOnce) {
        d.answer({{"error", true}, {"result", 0}});
        d.lastShownMessage().controller->accept();
        if (!d.enter("Петров") || !d.enter("1234"))
            return QString();
    }
    d.answerStep(2, true);
    return d.payDetails() == 1 ? uid : QString();
}

void tst_DebugLog::tagsOfOneRoad()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tavrin.debug=true"));
    MessageCapture capture;
    const QString uid = runRoad(false);
    QVERIFY(!uid.isEmpty());

    QStringList tavrin;
    QStringList tags;
    for (const MessageCapture::Line &line : capture.lines) {
        if (line.category != "tavrin")
            continue;
        QCOMPARE(line.type, QtDebugMsg);
        // A terminal's log names where each line of ours was written, also in a release build.
        QVERIFY2(line.file.endsWith("tavrinpluginhandler.cpp"), line.file.constData());
        QVERIFY2(line.function.contains("TavrinPluginHandler::"), line.function.constData());
        tavrin << line.text;
        tags << line.text.section(' ', 0, 0);
    }
    QCOMPARE(tags, (QStringList{"TAVRIN_CONSTRUCTOR", "TAVRIN_STARTED", "STOMP_REQUEST", "STOMP_RECEIVED",
                                "INPUT_PARAM", "PREPARE_TO_INPUT_PARAM", "CREATING_INPUT_CONTROLLER",
                                "ANSWER_HANDLED", "INPUT_PARAM", "SKIP_PARAM", "INPUT_PARAM",
                                "PREPARE_TO_INPUT_PARAM", "INPUT_PARAM", "PREPARE_TO_FINISH_INPUT",
                                "STOMP_REQUEST", "STOMP_RECEIVED", "ANSWER_STEP_IS_COMPLETE",
                                "PREPARE_FILL_PARAMS", "FILL_PROVIDER_PARAMS", "TAVRIN_DESTRUCTOR"}));
    QCOMPARE(tavrin.at(4), "INPUT_PARAM 0 3");
    QCOMPARE(tavrin.at(5), "PREPARE_TO_INPUT_PARAM \"surname\" \"string\"");
    QCOMPARE(tavrin.at(7), QStringLiteral("ANSWER_HANDLED \"%1\"").arg(uid));
    QCOMPARE(tavrin.at(9), "SKIP_PARAM \"patronymic\" false \"string\"");
    QCOMPARE(tavrin.at(12), "INPUT_PARAM 3 3");
    // The request and the answer go out as JSON text, the answer down to the depth the plugin reads.
    QVERIFY2(tavrin.at(2).startsWith("STOMP_REQUEST \"{") && tavrin.at(2).contains(uid), qPrintable(tavrin.at(2)));
    QVERIFY2(tavrin.at(3).startsWith("STOMP_RECEIVED \"{") && tavrin.at(3).contains("patronymic")
                 && tavrin.at(3).contains("<deeper levels elided>") && !tavrin.at(3).contains("innermost"),
             qPrintable(tavrin.at(3).right(300)));

    // The destructor's plain line goes to Qt's default category, just before its tag.
    const QStringList lines = capture.summary({"default", "tavrin"});
    QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"default debug: TavrinPluginHandler plugin destructor",
                                                       "tavrin debug: TAVRIN_DESTRUCTOR"}));
}

void tst_DebugLog::silentByDefault_data()
{
    QTest::addColumn<QString>("rules");
    QTest::newRow("the default rules") << QString();
    // A host tuning its own categories at run time must not let the plugin's lines out.
    QTest::newRow("the host's rules for its own debug lines") << "paymenthost.*.debug=true";
}

void tst_DebugLog::silentByDefault()
{
    QFETCH(QString, rules);
    QLoggingCategory::setFilterRules(rules);
    MessageCapture capture;
    QVERIFY(!runRoad(true).isEmpty());
    // The retry is the one line that is a warning, and warnings are on by default.
    QCOMPARE(capture.summary({"tavrin"}), QStringList{"tavrin warning: RETRY_INPUT_PARAMS 1"});
}

QTEST_MAIN(tst_DebugLog)
#include "tst_debuglog.moc"
