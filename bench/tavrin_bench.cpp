// The plugin's costs side by side with what Qt and the host must spend on the same work. Every
// pair is run in one process and reported in the same unit; bench/run.sh takes the medians of
// repetitions and writes the ratios to BENCHMARKS.md.
//
//   tavrin_bench [--smoke] [Google Benchmark flags]
//   tavrin_bench --load-plugin <module>     (the child that times one plugin load)
//
// The benchmarks with "manual_time" in their name time only the step in question with the
// thread's CPU clock; the rest are timed by Google Benchmark as a whole loop. --smoke runs each
// once, for the build's test suite.

#include "benchanswers.h"
#include "benchterminal.h"
#include "tavrincheckanswer.h"
#include "tavrinpluginhandler.h"

#include "currency.h"
#include "kovrainfo.h"
#include "paymenti64idgenerator.h"

#include <QtCore/QDataStream>
#include <QtCore/QDateTime>
#include <QtCore/QJsonDocument>
#include <QtCore/QLoggingCategory>
#include <QtCore/QPluginLoader>
#include <QtCore/QProcess>
#include <QtWidgets/QApplication>

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

qint64 threadCpuNs()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void setIterationTime(benchmark::State &state, qint64 startNs)
{
    state.SetIterationTime(double(threadCpuNs() - startNs) / 1e9);
}

void skip(benchmark::State &state, const QString &why)
{
    state.SkipWithError(qPrintable(why));
}

// The child's side of the load benchmark: a fresh process, so that the module is not mapped
// yet, with Qt, the host library and a running application (platform plugin loaded, logging
// rules read) as in a terminal.
int loadPluginOnce(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[2]);
    // A terminal has logged before it loads its plugins, so its logging rules are read by then.
    const QLoggingCategory hostLog("paymenthost.bench");
    qCDebug(hostLog) << "loading" << path;
    const qint64 start = threadCpuNs();
    QPluginLoader loader(path);
    const bool loaded = loader.load();
    QObject *instance = loaded ? loader.instance() : nullptr;
    const qint64 spent = threadCpuNs() - start;
    if (!qobject_cast<IPayByProvider *>(instance)) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[2], qPrintable(loader.errorString()));
        return 1;
    }
    std::printf("%lld\n", static_cast<long long>(spent));
    return 0;
}

} // namespace

// Where the bus ends in these benchmarks: it takes the request and keeps nothing, so that the
// send costs what the pay screen itself spends on it.
class RequestSink : public QObject
{
    Q_OBJECT
public:
    explicit RequestSink(QObject *parent = nullptr)
        : QObject(parent)
    {
    }
    int taken = 0;

public slots:
    void take(const QVariantMap &message)
    {
        Q_UNUSED(message);
        ++taken;
    }
};

// The plugin object from inside, started on a provider, for request building on its own.
class RequestBench
{
public:
    RequestBench()
        : fixture(new TavrinPluginHandler)
        , handler(static_cast<TavrinPluginHandler *>(fixture.pluginObject.data()))
    {
        handler->setMessageReciever(&sink, SLOT(take(QVariantMap)));
        fixture.provider.reset(PluginFixture::makeProvider(113003105));
        viewer = dynamic_cast<PluginBaseFormViewer *>(
            handler->start(fixture.provider.data(), Currency(643), &fixture.session));
    }

    QVariantMap prepare(const QVariantMap &params) { return handler->prepareStompMessage(params); }

    RequestSink sink;
    PluginFixture fixture;
    TavrinPluginHandler *handler;
    QPointer<PluginBaseFormViewer> viewer;
};

namespace {

struct Answers
{
    QVariantMap typical = BenchAnswers::firstStepAnswer(BenchAnswers::typicalParameters());
    QVariantMap large = BenchAnswers::firstStepAnswer(BenchAnswers::largeParameters());
};

void answerRead(benchmark::State &state, const QVariantMap &answer)
{
    for (auto _ : state) {
        const TavrinCheckAnswer record(answer);
        benchmark::DoNotOptimize(record.payParamsList().size());
    }
}

void answerJsonDecode(benchmark::State &state, const QByteArray &json)
{
    for (auto _ : state) {
        const QVariant decoded = QJsonDocument::fromJson(json).toVariant();
        benchmark::DoNotOptimize(decoded.constData());
    }
}

// From the pay screen's incomingMessage() to the first parameter on screen, and beside it, in
// the same iteration and from the same state, the host's share of that: the plugin's account
// screen (number typed, request sent) taken off, a new input controller and setParameter()
// with the very parameter the plugin showed. The dispatch is the benchmark's time, the host's
// share the counter host_part_us. Everything else, the account screen and the request before
// each answer included, is set up untimed.
void dispatch(benchmark::State &state, BenchTerminal &terminal, const QVariantMap &answer)
{
    if (!terminal.begin())
        return skip(state, terminal.errorString());
    QObject owner;
    double hostPartUs = 0;
    for (auto _ : state) {
        terminal.plugin()->showInitScreen();
        QString uid = terminal.acceptNumber();
        if (uid.isEmpty()) {
            skip(state, terminal.errorString());
            break;
        }
        const QVariantMap message = BenchAnswers::withUid(answer, uid);
        BenchTerminal::settle();
        qint64 start = threadCpuNs();
        emit terminal.viewer()->incomingMessage(message);
        setIterationTime(state, start);
        PluginProviderParameterInputController *shown = terminal.shownInput();
        if (!shown) {
            skip(state, QStringLiteral("the answer showed no parameter"));
            break;
        }
        const QString providerName = shown->providerName();
        const ProviderParameter parameter = shown->parameter();

        terminal.plugin()->showInitScreen();
        QPointer<PluginProviderParameterInputController> account = terminal.shownInput();
        uid = terminal.acceptNumber();
        if (uid.isEmpty() || !account) {
            skip(state, terminal.errorString());
            break;
        }
        BenchTerminal::settle();
        start = threadCpuNs();
        account->hide();
        auto *input = new PluginProviderParameterInputController(
            terminal.session(), terminal.viewer(), QString(), QString(), &owner);
        input->setParameter(providerName, parameter, false);
        hostPartUs += double(threadCpuNs() - start) / 1e3;
        delete input;
    }
    state.counters["host_part_us"] = benchmark::Counter(hostPartUs, benchmark::Counter::kAvgIterations);
    terminal.end();
}

void requestPrepareAndSend(benchmark::State &state, RequestBench &bench)
{
    const QVariantMap params = BenchAnswers::firstRequestParameters();
    for (auto _ : state)
        bench.viewer->sendStompMessage(bench.prepare(params));
    if (bench.sink.taken == 0)
        skip(state, QStringLiteral("no request reached the bus"));
}

void requestHostSend(benchmark::State &state, RequestBench &bench)
{
    const QVariantMap request = bench.prepare(BenchAnswers::firstRequestParameters());
    for (auto _ : state)
        bench.viewer->sendStompMessage(request);
}

// What no request can do without: the compact JSON of the parameters as text, the id
// generator's input (the request and the moment, through QDataStream) and the id.
void requestPrimitives(benchmark::State &state, RequestBench &bench)
{
    const QVariantMap params = BenchAnswers::firstRequestParameters();
    QVariantMap request = bench.prepare(params);
    request.remove(QStringLiteral("uid"));
    for (auto _ : state) {
        const QString checkdata =
            QString::fromUtf8(QJsonDocument::fromVariant(params).toJson(QJsonDocument::Compact));
        QByteArray bytes;
        {
            QDataStream stream(&bytes, QIODevice::WriteOnly);
            stream << request << QDateTime::currentDateTime();
        }
        const qint64 id = PaymentI64IdGenerator::generate(4242, bytes);
        benchmark::DoNotOptimize(checkdata.constData());
        benchmark::DoNotOptimize(id);
    }
}

void wholeDialogue(benchmark::State &state, BenchTerminal &terminal)
{
    for (auto _ : state) {
        if (!terminal.runDialogue()) {
            skip(state, terminal.errorString());
            break;
        }
    }
}

void pluginLoad(benchmark::State &state, const QString &path)
{
    for (auto _ : state) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList() << QStringLiteral("--load-plugin") << path);
        if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit
            || child.exitCode() != 0) {
            skip(state, QString::fromLocal8Bit(child.readAllStandardError()).trimmed());
            break;
        }
        bool isNumber = false;
        const qint64 ns = child.readAllStandardOutput().trimmed().toLongLong(&isNumber);
        if (!isNumber) {
            skip(state, QStringLiteral("the load child printed no time"));
            break;
        }
        state.SetIterationTime(double(ns) / 1e9);
    }
}

bool takeFlag(int *argc, char **argv, const char *flag)
{
    for (int i = 1; i < *argc; ++i) {
        if (std::strcmp(argv[i], flag) == 0) {
            for (int j = i; j + 1 < *argc; ++j)
                argv[j] = argv[j + 1];
            --*argc;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--load-plugin") == 0)
        return loadPluginOnce(argc, argv);

    const bool smoke = takeFlag(&argc, argv, "--smoke");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const Answers answers;
    const QByteArray typicalJson = BenchAnswers::jsonText(answers.typical);
    const QByteArray largeJson = BenchAnswers::jsonText(answers.large);
    BenchTerminal terminal;
    if (!terminal.load()) {
        std::fprintf(stderr, "%s\n", qPrintable(terminal.errorString()));
        return 1;
    }
    RequestBench requests;
    if (!requests.viewer) {
        std::fprintf(stderr, "the plugin started no pay screen\n");
        return 1;
    }

    // Each registration gets a time scale fitting its step; a smoke run does one iteration.
    const auto add = [smoke](const char *name, std::function<void(benchmark::State &)> body,
                             bool manual, double minTime, int iterations = 0) {
        benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(
            name, [body](benchmark::State &state) { body(state); });
        b->Unit(benchmark::kMicrosecond);
        if (manual)
            b->UseManualTime();
        if (smoke)
            b->Iterations(1);
        else if (iterations > 0)
            b->Iterations(iterations);
        else
            b->MinTime(minTime);
    };

    using std::placeholders::_1;
    add("answer_read/typical", std::bind(answerRead, _1, std::cref(answers.typical)), false, 0.2);
    add("answer_json_decode/typical", std::bind(answerJsonDecode, _1, std::cref(typicalJson)), false, 0.2);
    add("answer_read/large", std::bind(answerRead, _1, std::cref(answers.large)), false, 0.2);
    add("answer_json_decode/large", std::bind(answerJsonDecode, _1, std::cref(largeJson)), false, 0.2);
    add("dispatch/typical", std::bind(dispatch, _1, std::ref(terminal), std::cref(answers.typical)), true, 0.1);
    add("dispatch/large", std::bind(dispatch, _1, std::ref(terminal), std::cref(answers.large)), true, 0.1);
    add("request/prepare_and_send", std::bind(requestPrepareAndSend, _1, std::ref(requests)), false, 0.2);
    add("request/primitives", std::bind(requestPrimitives, _1, std::ref(requests)), false, 0.2);
    add("request/host_send", std::bind(requestHostSend, _1, std::ref(requests)), false, 0.2);
    add("dialogue/whole", std::bind(wholeDialogue, _1, std::ref(terminal)), false, 0.5);
    add("plugin_load/tavrin", std::bind(pluginLoad, _1, QStringLiteral(TAVRIN_PLUGIN_PATH)), true, 0, 12);
    add("plugin_load/minimal", std::bind(pluginLoad, _1, QStringLiteral(TAVRIN_MINIMAL_PLUGIN_PATH)), true, 0, 12);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "tavrin_bench.moc"
