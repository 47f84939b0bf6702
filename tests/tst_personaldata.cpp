#include <QtTest/QtTest>

#include "dialoguetest.h"
#include "handoffmemory.h"
#include "messagecapture.h"
#include "tavrinpluginhandler.h"

#include <QtCore/QTemporaryFile>

#include <cstdio>
#include <unistd.h>

namespace {

// Planted in the service's answers and in what the customer types; digits found nowhere else
// in a dialogue. The customer's number, the passport the service sends, the codes typed.
const QString Phone = QStringLiteral("9035718264");
const QString PassportSeries = QStringLiteral("7391"), PassportNumber = QStringLiteral("582046");
const QString SmsCode = QStringLiteral("640317"), WrongCode = QStringLiteral("139527");

// Sends what the process writes to a file descriptor into a file while it lives: output that
// does not go through Qt's logging reaches the terminal's log all the same.
class Redirect
{
public:
    explicit Redirect(int fd) : m_fd(fd)
    {
        std::fflush(nullptr);
        if (m_file.open()) {
            m_saved = ::dup(fd);
            ::dup2(m_file.handle(), fd);
        }
    }
    ~Redirect() { restore(); }

    QByteArray restore()
    {
        if (m_saved >= 0) {
            std::fflush(nullptr);
            ::dup2(m_saved, m_fd);
            ::close(m_saved);
            m_saved = -1;
            m_file.seek(0);
            m_text = m_file.readAll();
        }
        return m_text;
    }

private:
    int m_fd;
    int m_saved = -1;
    QTemporaryFile m_file;
    QByteArray m_text;
};

} // namespace

// A terminal's log is read by people who must not learn the customers' documents or codes
// from it: with the logging rules a terminal runs with, no dialogue writes them anywhere.
class tst_PersonalData : public DialogueTest
{
    Q_OBJECT

private slots:
    void nothingPersonalInTheLog_data();
    void nothingPersonalInTheLog();
    void handOffMemoryIsBoundedAndKeepsNoValue_data();
    void handOffMemoryIsBoundedAndKeepsNoValue();
    void handOffMemoryIsBoundedForAnyProviders();

private:
    void playDialogue();
};

void tst_PersonalData::playDialogue()
{
    QVERIFY(d->start());
    QVERIFY(d->enter(Phone));

    // A pattern the terminal cannot use is reported by name: the value must not go with it.
    d->answerStep(1, true, {fixed("surname", "Иванова"), fixed("ID_serie", PassportSeries),
                            with(editable("smscode"), "regexp", "(\\d+"), fixed("ID_number", PassportNumber)});

    // A mistyped code: the service refuses it and the customer types it again.
    QVERIFY(d->enter(WrongCode));
    d->answer({{"error", false}, {"result", 0}},
              {{"isError", true}, {"statusDescription", "Неверный код подтверждения"}, {"currentStep", 2}});
    QPointer<MessageWidgetController> refusal = d->lastShownMessage().controller;
    QVERIFY(refusal);
    refusal->accept();
    QCOMPARE(d->lastShownInput().parameter.name(), "smscode");
    QVERIFY(d->enter(SmsCode));
    QCOMPARE(d->fixture.bus.lastCheckData().value("payParamList").toList().value(1).toMap().value("value").toString(),
             SmsCode);

    d->answerStep(2, true, {fixed("ID_serie", PassportSeries), fixed("ID_number", PassportNumber)});
    QCOMPARE(d->payDetails(), 1);
    QCOMPARE(d->fixture.provider->parameters().last().value(), PassportSeries + PassportNumber);
}

void tst_PersonalData::nothingPersonalInTheLog_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<bool>("written");

    QTest::newRow("with the default rules, nowhere") << QString() << false;
    // The same dialogue with the plugin's debug lines on, as an operator may ask for while
    // looking into a fault: then they are there, which shows that the capture sees them.
    QTest::newRow("with the debug lines asked for, in them") << "tavrin.debug=true" << true;
}

void tst_PersonalData::nothingPersonalInTheLog()
{
    QFETCH(QString, rules);
    QFETCH(bool, written);

    QLoggingCategory::setFilterRules(rules);
    QByteArray out;
    QByteArray err;
    QList<MessageCapture::Line> logged;
    {
        Redirect outRedirect(STDOUT_FILENO);
        Redirect errRedirect(STDERR_FILENO);
        MessageCapture capture;
        playDialogue();
        logged = capture.lines;
        out = outRedirect.restore();
        err = errRedirect.restore();
    }
    if (QTest::currentTestFailed()) {
        // What the test itself said went to the files too.
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        return;
    }

    QString everything = QString::fromUtf8(out + err);
    for (const MessageCapture::Line &line : qAsConst(logged))
        everything += QString::fromLatin1(line.category) + ' ' + line.text + '\n';
    for (const QString &planted : {Phone, PassportSeries, PassportNumber, SmsCode, WrongCode}) {
        QVERIFY2(everything.contains(planted) == written,
                 qPrintable(QStringLiteral("%1 %2 in:\n%3").arg(planted, written ? "missing" : "written", everything)));
    }
}

void tst_PersonalData::handOffMemoryIsBoundedAndKeepsNoValue_data()
{
    QTest::addColumn<bool>("freshProviders");

    QTest::newRow("a new provider object for each payment") << true;
    QTest::newRow("one provider object for every payment") << false;
}

void tst_PersonalData::handOffMemoryIsBoundedAndKeepsNoValue()
{
    QFETCH(bool, freshProviders);

    // The plugin's objects built into this suite, so that their memory is the one looked at.
    QTest::ignoreMessage(QtDebugMsg, "TavrinPluginHandler plugin destructor");
    d.reset();
    d.reset(new DialogueDriver(new TavrinPluginHandler));
    const HandOffMemory &memory = HandOffMemory::instance();
    const int payments = HandOffMemory::ValuesKept * 2;
    const auto phoneOf = [freshProviders](int payment) {
        return QString::number(Q_INT64_C(9030000000) + payment + (freshProviders ? 0 : 500000));
    };
    const QString card = QStringLiteral("4276000011112222");
    for (int payment = 0; payment < payments; ++payment) {
        if (freshProviders || payment == 0)
            d->fixture.provider.reset(PluginFixture::makeProvider(113003105));
        QVERIFY(d->start());
        QVERIFY(d->enter(phoneOf(payment)));
        d->answerStep(1, true, {editable("smscode")});
        QVERIFY(d->enterEach({"1234", card}));
        d->answerStep(2, true);
        QCOMPARE(d->payDetails(), payment + 1);
        d->fixture.plugin->stop();
        d->clearShown();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The phone and the card number of the last thousand payments, whatever the host does.
    QCOMPARE(memory.size(), 2 * HandOffMemory::ValuesKept);
    QVERIFY(memory.recognises(113003105, "phone", phoneOf(payments - HandOffMemory::ValuesKept)));
    QVERIFY2(!memory.recognises(113003105, "phone", phoneOf(payments - HandOffMemory::ValuesKept - 1)),
             "an earlier payment was kept");
    const QByteArray held = memory.heldBytes();
    QVERIFY(held.size() >= memory.size() * int(sizeof(quint64)));
    for (const QString &value : {phoneOf(payments - 1), card}) {
        const QByteArray utf16(reinterpret_cast<const char *>(value.utf16()), value.size() * 2);
        QVERIFY2(!held.contains(value.toUtf8()) && !held.contains(utf16),
                 qPrintable(value + " is held as it was typed"));
    }
}

void tst_PersonalData::handOffMemoryIsBoundedForAnyProviders()
{
    // A host paying more providers through the plugin than the memory keeps, each a thousand
    // times in a row: the providers paid last are the ones remembered.
    HandOffMemory &memory = HandOffMemory::instance();
    const int providers = HandOffMemory::ParametersKept;
    const QStringList names{"phone", "card_num"};
    const auto valueOf = [](int provider, int handOff) {
        return QString::number(Q_INT64_C(9030000000) + provider * HandOffMemory::ValuesKept + handOff);
    };
    for (int provider = 0; provider < providers; ++provider) {
        for (const QString &name : names) {
            for (int handOff = 0; handOff < HandOffMemory::ValuesKept; ++handOff)
                memory.remember(1000 + provider, name, valueOf(provider, handOff));
        }
    }
    QCOMPARE(memory.size(), HandOffMemory::ParametersKept * HandOffMemory::ValuesKept);
    const int lastValue = HandOffMemory::ValuesKept - 1;
    for (int provider = 0; provider < providers; ++provider) {
        const bool kept = provider >= providers - HandOffMemory::ParametersKept / 2;
        for (const QString &name : names) {
            QVERIFY2(memory.recognises(1000 + provider, name, valueOf(provider, lastValue)) == kept,
                     qPrintable(QStringLiteral("%1 of provider %2 %3").arg(name).arg(provider).arg(kept ? "lost" : "kept")));
        }
    }
}

QTEST_MAIN(tst_PersonalData)
#include "tst_personaldata.moc"
