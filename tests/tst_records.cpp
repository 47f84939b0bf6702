#include <QtTest/QtTest>

#include "busprobe.h"
#include "messagecapture.h"
#include "providerparameter.h"
#include "tavrincheckanswer.h"

namespace {

QString names(const QList<TavrinPayParameter> &parameters)
{
    QStringList result;
    for (const TavrinPayParameter &parameter : parameters)
        result << parameter.name();
    return result.join(QLatin1Char(','));
}

QString flag(bool value)
{
    return QLatin1String(value ? "true" : "false");
}

// Every member as "key=value", so that a failing row names the member that differs.
QStringList dump(const TavrinPayParameter &p)
{
    const QVariant v = p.value();
    return {"isEditable=" + flag(p.isEditable()), "isVisible=" + flag(p.isVisible()),
            "name=" + p.name(), "regexp=" + p.regexp(), "mask=" + p.mask(),
            "title=" + p.title(), "type=" + p.type(),
            "value=" + (v.isValid() ? v.typeName() + (':' + v.toString()) : "invalid"),
            "paramList=" + names(p.paramList())};
}

QStringList dump(const TavrinCheckAnswer &a)
{
    return {"msgType=" + a.msgType(), "uid=" + a.uid(), "error=" + flag(a.error()),
            "result=" + QString::number(a.result()), "description=" + a.description(),
            "currentStep=" + QString::number(a.currentStep()),
            "isStepComplete=" + flag(a.isStepComplete()), "isStepError=" + flag(a.isStepError()),
            "stepStatusDescription=" + a.stepStatusDescription(),
            "payParamsList=" + names(a.payParamsList())};
}

// The defaults, with each change put in place of the line of the same key.
QStringList changed(QStringList lines, const QStringList &changes)
{
    for (const QString &change : changes) {
        for (QString &line : lines) {
            if (line.section(QLatin1Char('='), 0, 0) == change.section(QLatin1Char('='), 0, 0))
                line = change;
        }
    }
    return lines;
}

const QStringList ParameterDefaults{"isEditable=false", "isVisible=false", "name=", "regexp=",
                                    "mask=", "title=", "type=", "value=invalid", "paramList="};
const QStringList AnswerDefaults{"msgType=", "uid=", "error=true", "result=-1", "description=",
                                 "currentStep=-1", "isStepComplete=false", "isStepError=false",
                                 "stepStatusDescription=", "payParamsList="};

QVariantMap named(const QString &name)
{
    return {{QStringLiteral("name"), name}};
}

// A parameter named "0" with levels parameters below it, each the only entry of its parent's
// "paramList" and named after its depth. Built from the bottom up, without recursion.
QVariantMap chain(int levels, bool emptyListBelow = false)
{
    QVariantMap level = named(QString::number(levels));
    if (emptyListBelow)
        level.insert(QStringLiteral("paramList"), QVariantList());
    for (int depth = levels - 1; depth >= 0; --depth) {
        QVariantMap parent = named(QString::number(depth));
        parent.insert(QStringLiteral("paramList"), QVariantList{level});
        level = parent;
    }
    return level;
}

// Takes a chain apart from the top: destroying a deep one whole would recurse once per level
// and overflow the test's own stack.
void release(QVariantMap &&top)
{
    QVariantMap level = std::move(top);
    for (QVariantList below; !(below = level.value(QStringLiteral("paramList")).toList()).isEmpty();) {
        level.clear();
        level = below.first().toMap();
    }
}

// How many levels of first entries lie below parameter; the name of the deepest one.
int levelsBelow(TavrinPayParameter parameter, QString *deepestName)
{
    int levels = 0;
    for (; !parameter.paramList().isEmpty(); ++levels) {
        const TavrinPayParameter below = parameter.paramList().first();
        parameter = below;
    }
    *deepestName = parameter.name();
    return levels;
}

QVariantMap answerWith(const QVariantList &payParamList)
{
    return BusProbe::answer({{QStringLiteral("uid"), QStringLiteral("u")}},
                            {{QStringLiteral("payParamList"), payParamList}});
}

int tooDeepWarnings(const MessageCapture &capture)
{
    return capture.summary({"tavrin"}).filter(QRegularExpression(
        QStringLiteral("^tavrin warning: PARAM_LIST_TOO_DEEP "))).size();
}

} // namespace

// The two records read from the check service's answers: every key optional, QVariant's own
// conversions, fixed defaults, and a bounded nesting of parameter lists.
class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void payParameter_data();
    void payParameter();
    void wildcard_data();
    void wildcard();
    void fromProviderParameter();
    void answer_data();
    void answer();
    void nestingDepth_data();
    void nestingDepth();
    void oneWarningPerRead();
    void veryDeepAnswerIsBounded();
};

void tst_Records::payParameter_data()
{
    QTest::addColumn<QVariantMap>("map");
    QTest::addColumn<QStringList>("changes");

    QTest::newRow("empty map gives the defaults") << QVariantMap() << QStringList();
    QTest::newRow("non-zero number is true")
        << QVariantMap{{"isEditable", 2}} << QStringList{"isEditable=true"};
    QTest::newRow("isVisible sets only its own flag")
        << QVariantMap{{"isVisible", true}} << QStringList{"isVisible=true"};
    QTest::newRow("texts go into their own members")
        << QVariantMap{{"name", "fam"}, {"title", "Фамилия"}, {"type", "string"}, {"mask", "999"},
                       {"regexp", "^\\d+$"}}
        << QStringList{"name=fam", "title=Фамилия", "type=string", "mask=999", "regexp=^\\d+$"};
    QTest::newRow("value number stays numeric") << QVariantMap{{"value", 5}} << QStringList{"value=int:5"};
    QTest::newRow("value empty text is still present")
        << QVariantMap{{"value", ""}} << QStringList{"value=QString:"};
    QTest::newRow("keys in another letter case are ignored")
        << QVariantMap{{"Name", "x"}, {"ISEDITABLE", true}, {"Value", 1},
                       {"paramlist", QVariantList{named("a")}}}
        << QStringList();
    QTest::newRow("entries that are not maps are kept as default records")
        << QVariantMap{{"paramList", QVariantList{named("a"), "text", 7, QVariant(), named("b")}}}
        << QStringList{"paramList=a,,,,b"};
    // Qt 6's QVariant would make them lists of their characters.
    QTest::newRow("text as a list gives no entries") << QVariantMap{{"paramList", "abc"}} << QStringList();
    QTest::newRow("bytes as a list give no entries")
        << QVariantMap{{"paramList", QByteArray("abc")}} << QStringList();
}

void tst_Records::payParameter()
{
    QFETCH(QVariantMap, map);
    QFETCH(QStringList, changes);

    QCOMPARE(dump(TavrinPayParameter(map)), changed(ParameterDefaults, changes));
    QCOMPARE(dump(TavrinPayParameter()), ParameterDefaults);
}

void tst_Records::wildcard_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    QTest::newRow("backslash asterisk means no pattern") << "\\*" << QString();
    QTest::newRow("inside a longer pattern stays") << "^\\*\\d+$" << "^\\*\\d+$";
}

void tst_Records::wildcard()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);

    const TavrinPayParameter fromMap(QVariantMap{{"regexp", pattern}, {"mask", pattern}});
    QCOMPARE(fromMap.regexp(), expected);
    QCOMPARE(fromMap.mask(), pattern);

    ProviderParameter providerParameter(QStringLiteral("phone"));
    providerParameter.setRegExp(pattern);
    QCOMPARE(TavrinPayParameter(providerParameter).regexp(), expected);
}

void tst_Records::fromProviderParameter()
{
    ProviderParameter card(QStringLiteral("card_num"), QStringLiteral("Номер карты"));
    card.setRegExp(QStringLiteral("^\\d{16}$"));
    card.setMask(QStringLiteral("9999 9999 9999 9999"));
    card.setCheckLabel(QStringLiteral("Карта"));
    card.setMaskedView(true);
    QCOMPARE(dump(TavrinPayParameter(card)),
             changed(ParameterDefaults, {"name=card_num", "title=Номер карты", "regexp=^\\d{16}$",
                                         "mask=9999 9999 9999 9999", "value=QString:"}));
}

void tst_Records::answer_data()
{
    QTest::addColumn<QVariantMap>("answer");
    QTest::addColumn<QStringList>("changes");

    const auto body = [](const QVariantMap &keys) { return BusProbe::answer(keys); };
    const auto step = [](const QVariantMap &keys) { return BusProbe::answer({}, keys); };

    QTest::newRow("empty map reads as a failure") << QVariantMap() << QStringList();
    QTest::newRow("body keys at the top level are ignored")
        << QVariantMap{{"msgType", "tavrinPluginRequest"}, {"error", false}, {"result", 0}} << QStringList();
    QTest::newRow("body without params keeps the step defaults")
        << body({{"msgType", "tavrinPluginRequest"}, {"uid", "42"}, {"error", false}, {"result", 0}})
        << QStringList{"msgType=tavrinPluginRequest", "uid=42", "error=false", "result=0"};
    QTest::newRow("descriptions joined by one space, white space inside kept")
        << body({{"description", " a  b"}, {"resultDescription", "\tc\n"}})
        << QStringList{"description=a  b \tc"};
    QTest::newRow("step data read")
        << step({{"isCompleted", "true"}, {"isError", 1}, {"statusDescription", "Код неверный"},
                 {"currentStep", "2"}, {"payParamList", QVariantList{named("a"), named("b"), named("c")}}})
        << QStringList{"isStepComplete=true", "isStepError=true", "currentStep=2",
                       "stepStatusDescription=Код неверный", "payParamsList=a,b,c"};
    QTest::newRow("step keys in the body and body keys in the step data are ignored")
        << BusProbe::answer({{"isCompleted", true}, {"isError", true}, {"statusDescription", "x"},
                             {"currentStep", 2}, {"payParamList", QVariantList{named("a")}}},
                            {{"msgType", "tavrinPluginRequest"}, {"uid", "1"}, {"error", false},
                             {"result", 0}, {"description", "x"}})
        << QStringList();
    QTest::newRow("keys in another letter case are ignored")
        << BusProbe::answer({{"MsgType", "tavrinPluginRequest"}, {"UID", "1"}, {"Error", false}},
                            {{"iscompleted", true}, {"CurrentStep", 1}})
        << QStringList();
}

void tst_Records::answer()
{
    QFETCH(QVariantMap, answer);
    QFETCH(QStringList, changes);

    QCOMPARE(dump(TavrinCheckAnswer(answer)), changed(AnswerDefaults, changes));
}

void tst_Records::nestingDepth_data()
{
    QTest::addColumn<bool>("inAnswer");
    QTest::addColumn<int>("levels");
    QTest::addColumn<bool>("emptyListBelow");
    QTest::addColumn<int>("kept");

    const int bound = TavrinPayParameter::MAX_NESTING_DEPTH;
    for (bool inAnswer : {false, true}) {
        const char *reader = inAnswer ? "answer" : "parameter";
        QTest::addRow("%s: at the bound", reader) << inAnswer << bound << false << bound;
        QTest::addRow("%s: an empty list beyond the bound loses nothing", reader)
            << inAnswer << bound << true << bound;
        QTest::addRow("%s: one level beyond the bound", reader)
            << inAnswer << bound + 1 << false << bound;
    }
}

void tst_Records::nestingDepth()
{
    QFETCH(bool, inAnswer);
    QFETCH(int, levels);
    QFETCH(bool, emptyListBelow);
    QFETCH(int, kept);

    const QVariantMap parameterMap = chain(levels, emptyListBelow);
    QString deepest;
    MessageCapture capture;
    const int levelsKept = inAnswer
        ? levelsBelow(TavrinCheckAnswer(answerWith({parameterMap})).payParamsList().value(0), &deepest)
        : levelsBelow(TavrinPayParameter(parameterMap), &deepest);

    QCOMPARE(levelsKept, kept);
    QCOMPARE(deepest, QString::number(kept));
    QCOMPARE(tooDeepWarnings(capture), levels > kept ? 1 : 0);
}

void tst_Records::oneWarningPerRead()
{
    // Branches cut off in one answer are one loss to report, each time an answer is read.
    const QVariantMap branch = chain(TavrinPayParameter::MAX_NESTING_DEPTH + 5);
    const QVariantMap answerMap = answerWith({branch, named("flat"), branch});
    const QVariantMap parameterMap{{"name", "top"}, {"paramList", QVariantList{branch, branch}}};

    MessageCapture capture;
    for (int read = 1; read <= 2; ++read) {
        QCOMPARE(names(TavrinCheckAnswer(answerMap).payParamsList()), QStringLiteral("0,flat,0"));
        QCOMPARE(tooDeepWarnings(capture), 2 * read - 1);
        QCOMPARE(TavrinPayParameter(parameterMap).paramList().size(), 2);
        QCOMPARE(tooDeepWarnings(capture), 2 * read);
    }
    QCOMPARE(capture.summary({"tavrin"}).size(), 4);
}

void tst_Records::veryDeepAnswerIsBounded()
{
    struct Chain
    {
        QVariantMap top;
        ~Chain() { release(std::move(top)); }
    } deep{chain(100000)};
    const QVariantMap answer = answerWith({deep.top});
    const int bound = TavrinPayParameter::MAX_NESTING_DEPTH;
    MessageCapture capture;
    int answerLevels = -1;
    int parameterLevels = -1;
    QString printed;
    // On a stack far smaller than a GUI thread's: neither reading nor printing the answer may
    // go down once per level of it.
    QScopedPointer<QThread> reader(QThread::create([&] {
        QString deepest;
        answerLevels = levelsBelow(TavrinCheckAnswer(answer).payParamsList().value(0), &deepest);
        parameterLevels = levelsBelow(TavrinPayParameter(deep.top), &deepest);
        printed = TavrinCheckAnswer::debugText(answer);
    }));
    reader->setStackSize(512 * 1024);
    reader->start();
    QVERIFY(reader->wait());
    QCOMPARE(answerLevels, bound);
    QCOMPARE(parameterLevels, bound);
    QCOMPARE(tooDeepWarnings(capture), 2);
    // The debug text holds every level the records read and marks where it stops.
    QVERIFY2(printed.contains(QStringLiteral("\"name\": \"%1\"").arg(bound)), qPrintable(printed.right(300)));
    QVERIFY2(!printed.contains(QStringLiteral("\"name\": \"%1\"").arg(bound + 1)), qPrintable(printed.right(300)));
    QCOMPARE(printed.count(TavrinCheckAnswer::ELIDED_MARKER), 1);
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
