#include <QtCore/QLoggingCategory>
#include <QtTest/QtTest>

#include "dialoguedriver.h"
#include "messagecapture.h"

namespace {

QVariantMap parameter(const QString &name, bool editable)
{
    return BusProbe::parameter(name, name, QStringLiteral("sent"), editable);
}

} // namespace

// What the plugin writes to its log category "tavrin": the tags of one road in their order when
// an operator enables debug output, and no debug line at all by default (the lines carry phone
// numbers, passport data and SMS codes).
class tst_DebugLog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void tagsOfOneRoad();
    void silentByDefault();

private:
    // One whole road, with a rejected second step first when asked; the plugin object is
    // created and deleted inside. Returns the uid of the first request.
    QString runRoad(bool rejectOnce);
};

void tst_DebugLog::cleanup()
{
    QLoggingCategory::setFilterRules(QString());
}

QString tst_DebugLog::runRoad(bool rejectOnce)
{
    DialogueDriver d;
    if (!d.fixture.isLoaded() || !d.start() || !d.enter(QStringLiteral("9161234567")))
        return QString();
    const QString uid = d.lastUid();
    d.answerStep(1, true, QVariantList{parameter(QStringLiteral("surname"), true),
                                       parameter(QStringLiteral("patronymic"), false),
                                       parameter(QStringLiteral("smscode"), true)});
    if (!d.enter(QStringLiteral("Петров")) || !d.enter(QStringLiteral("1234")))
        return QString();
    if (rejectOnce) {
        d.answer(QVariantMap{{QStringLiteral("error"), true}, {QStringLiteral("result"), 0}});
        d.lastShownMessage().controller->accept();
        if (!d.enter(QStringLiteral("Петров")) || !d.enter(QStringLiteral("1234")))
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
        QVERIFY2(line.file.endsWith("tavrinpluginhandler.cpp"), line.file.constData());
        QVERIFY2(line.function.contains("TavrinPluginHandler::"), line.function.constData());
        tavrin << line.text;
        tags << line.text.section(QLatin1Char(' '), 0, 0);
    }
    QCOMPARE(tags, (QStringList{
        QStringLiteral("TAVRIN_CONSTRUCTOR"), QStringLiteral("TAVRIN_STARTED"),
        QStringLiteral("STOMP_REQUEST"), QStringLiteral("STOMP_RECEIVED"),
        QStringLiteral("INPUT_PARAM"), QStringLiteral("PREPARE_TO_INPUT_PARAM"),
        QStringLiteral("CREATING_INPUT_CONTROLLER"), QStringLiteral("ANSWER_HANDLED"),
        QStringLiteral("INPUT_PARAM"), QStringLiteral("SKIP_PARAM"),
        QStringLiteral("INPUT_PARAM"), QStringLiteral("PREPARE_TO_INPUT_PARAM"),
        QStringLiteral("INPUT_PARAM"), QStringLiteral("PREPARE_TO_FINISH_INPUT"),
        QStringLiteral("STOMP_REQUEST"), QStringLiteral("STOMP_RECEIVED"),
        QStringLiteral("ANSWER_STEP_IS_COMPLETE"), QStringLiteral("PREPARE_FILL_PARAMS"),
        QStringLiteral("FILL_PROVIDER_PARAMS"), QStringLiteral("TAVRIN_DESTRUCTOR")}));

    QCOMPARE(tavrin.at(4), QStringLiteral("INPUT_PARAM 0 3"));
    QCOMPARE(tavrin.at(5), QStringLiteral("PREPARE_TO_INPUT_PARAM \"surname\" \"string\""));
    QCOMPARE(tavrin.at(7), QStringLiteral("ANSWER_HANDLED \"%1\"").arg(uid));
    QCOMPARE(tavrin.at(9), QStringLiteral("SKIP_PARAM \"patronymic\" false \"string\""));
    QCOMPARE(tavrin.at(12), QStringLiteral("INPUT_PARAM 3 3"));
    // The request and the answer go out whole, as JSON text.
    QVERIFY2(tavrin.at(2).startsWith(QStringLiteral("STOMP_REQUEST \"{")), qPrintable(tavrin.at(2)));
    QVERIFY2(tavrin.at(2).contains(uid), qPrintable(tavrin.at(2)));
    QVERIFY2(tavrin.at(3).startsWith(QStringLiteral("STOMP_RECEIVED \"{")), qPrintable(tavrin.at(3)));
    QVERIFY2(tavrin.at(3).contains(QStringLiteral("patronymic")), qPrintable(tavrin.at(3)));

    // The destructor's plain line goes to Qt's default category, just before its tag.
    const QStringList lines = capture.summary({"default", "tavrin"});
    const QStringList ending = lines.mid(lines.size() - 2);
    QCOMPARE(ending, (QStringList{QStringLiteral("default debug: TavrinPluginHandler plugin destructor"),
                                  QStringLiteral("tavrin debug: TAVRIN_DESTRUCTOR")}));
}

void tst_DebugLog::silentByDefault()
{
    MessageCapture capture;
    QVERIFY(!runRoad(true).isEmpty());

    // The retry is the one line that is a warning, and warnings are on by default.
    QCOMPARE(capture.summary({"tavrin"}), QStringList{QStringLiteral("tavrin warning: RETRY_INPUT_PARAMS 1")});
}

QTEST_MAIN(tst_DebugLog)
#include "tst_debuglog.moc"
