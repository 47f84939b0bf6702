#include "answerdecoder.h"

#include "fuzzinput.h"

#include <QtCore/QDate>

#include <functional>

namespace {

const QString MessageType = QStringLiteral("tavrinPluginRequest");

const QStringList Names{
    QStringLiteral("smscode"), QStringLiteral("surname"), QStringLiteral("name"),
    QStringLiteral("patronymic"), QStringLiteral("ID_serie"), QStringLiteral("ID_number"),
    QStringLiteral("card_num"), QStringLiteral("account"), QStringLiteral("addinfo"),
    QStringLiteral("phone"), QString(), QStringLiteral("SMSCODE")};
const QStringList Titles{QStringLiteral("Фамилия"), QStringLiteral("Введите код из SMS"),
                         QStringLiteral("%1 %2"), QString(), QStringLiteral("Счёт")};
const QStringList Types{QStringLiteral("string"), QStringLiteral("enum"), QString(),
                        QStringLiteral("Enum"), QStringLiteral("ENUM")};
const QStringList Patterns{QString(), QStringLiteral("\\*"), QStringLiteral("^\\d{4}$"),
                           QStringLiteral("^9\\d{9}$"), QStringLiteral("*"), QStringLiteral("("),
                           QStringLiteral("^[А-ЯЁ][а-яё-]+$"), QStringLiteral("(a+)+$")};
const QStringList Masks{QString(), QStringLiteral("9999"), QStringLiteral("(999) 999-99-99"),
                        QStringLiteral("AAAA"), QStringLiteral(">AA"), QStringLiteral("\\"),
                        QStringLiteral("0000;_")};
const QStringList Values{QString(), QStringLiteral("Иванова"), QStringLiteral("4510"),
                         QStringLiteral("X\r\nY"), QStringLiteral("0"), QStringLiteral("1")};
const QStringList Descriptions{QString(), QStringLiteral("Неверный код подтверждения"),
                               QStringLiteral(" "), QStringLiteral("Сервис недоступен ")};
const QStringList Uids{QString(), QStringLiteral("1"), QStringLiteral("uid"),
                       QStringLiteral("-1")};

QVariant deepChain(int levels)
{
    QVariantMap entry{{QStringLiteral("name"), QStringLiteral("deep")}};
    for (int i = 0; i < levels; ++i)
        entry = QVariantMap{{QStringLiteral("name"), QString::number(i)},
                            {QStringLiteral("type"), QStringLiteral("enum")},
                            {QStringLiteral("paramList"), QVariantList{entry}}};
    return QVariantList{entry};
}

// In a table of choices, a value that is read from the input when chosen.
const QVariant Read = QVariant::fromValue(nullptr);
// What a bus may hand over besides JSON's types; a number beyond a 32-bit int among them.
const QVariantList OtherTypes{QByteArray("1"), QStringList{QStringLiteral("1")},
                              qlonglong(1) << 32, QDate(2024, 2, 29)};
const QVariantList Flags = QVariantList{true, false, QStringLiteral("true"), QStringLiteral("false"),
                                        0, 1, QVariant(), QVariantList()} + OtherTypes;
const QVariantList Numbers = QVariantList{0, 1, 2, -1, Read, QStringLiteral("0"), QStringLiteral("1"),
                                          QStringLiteral("x"), 1e10, QStringLiteral("2")} + OtherTypes;
const QVariantList Texts = QVariantList{Read, 42, QVariant(), QVariantList{QStringLiteral("a")},
                                        QVariantMap()} + OtherTypes;
const QVariantList ParameterValues = QVariantList{Read, Read, 1.5, QVariant(),
                                                  QVariantList{QStringLiteral("a")}, true} + OtherTypes;
const QVariantList Lists{QVariant(), QStringLiteral("x"), Read, QVariantMap(),
                         QStringList{QStringLiteral("a"), QStringLiteral("b")}, deepChain(40)};

// One decision: the key is left out (0) or gets one of choices; read(choice) reads a Read.
void put(QVariantMap &map, const QString &key, FuzzInput &in, const QVariantList &choices,
         const std::function<QVariant(int)> &read = nullptr)
{
    const int choice = in.choose(choices.size() + 1);
    if (choice == 0)
        return;
    const QVariant &value = choices.at(choice - 1);
    map.insert(key, value.userType() == QMetaType::Nullptr ? read(choice) : value);
}

void putText(QVariantMap &map, const QString &key, FuzzInput &in, const QStringList &table)
{
    put(map, key, in, Texts, [&](int) { return in.text(table); });
}

void putNumber(QVariantMap &map, const QString &key, FuzzInput &in)
{
    put(map, key, in, Numbers, [&](int) { return int(qint8(in.byte())); });
}

void putList(QVariantMap &map, const QString &key, FuzzInput &in, int depth);

QVariantMap readParameter(FuzzInput &in, int depth)
{
    QVariantMap parameter;
    putText(parameter, QStringLiteral("name"), in, Names);
    putText(parameter, QStringLiteral("title"), in, Titles);
    putText(parameter, QStringLiteral("type"), in, Types);
    put(parameter, QStringLiteral("value"), in, ParameterValues, [&](int choice) {
        return choice == 1 ? QVariant(in.text(Values)) : QVariant(int(in.byte()));
    });
    putText(parameter, QStringLiteral("regexp"), in, Patterns);
    putText(parameter, QStringLiteral("mask"), in, Masks);
    put(parameter, QStringLiteral("isEditable"), in, Flags);
    put(parameter, QStringLiteral("isVisible"), in, Flags);
    // Choices and their details need two levels; a few more cost little.
    if (depth < 4)
        putList(parameter, QStringLiteral("paramList"), in, depth + 1);
    return parameter;
}

QVariant readEntry(FuzzInput &in, int depth)
{
    switch (in.choose(6)) {
    case 0: return readParameter(in, depth);
    case 1: return QStringLiteral("x");
    case 2: return 5;
    case 3: return QVariant();
    case 4: return QVariant(readParameter(in, depth)).toHash();
    default: {
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        // Every key twice, as a bus whose maps keep a repeated key hands them over.
        QMultiMap<QString, QVariant> twice(readParameter(in, depth));
        return QVariantMap(twice.unite(QMultiMap<QString, QVariant>(readParameter(in, depth))));
#else
        // Qt 6's maps keep one value a key: the second parameter's win.
        QVariantMap both = readParameter(in, depth);
        both.insert(readParameter(in, depth));
        return both;
#endif
    }
    }
}

void putList(QVariantMap &map, const QString &key, FuzzInput &in, int depth)
{
    put(map, key, in, Lists, [&](int) {
        int count = in.byte();
        // 255 asks for a long list: more entries than any screen shows.
        if (count == 255)
            count = 2000;
        QVariantList entries;
        for (int i = 0; i < count; ++i)
            entries.append(readEntry(in, depth));
        return entries;
    });
}

QVariantMap readStep(FuzzInput &in)
{
    QVariantMap step;
    put(step, QStringLiteral("isCompleted"), in, Flags);
    put(step, QStringLiteral("isError"), in, Flags);
    putText(step, QStringLiteral("statusDescription"), in, Descriptions);
    putNumber(step, QStringLiteral("currentStep"), in);
    putList(step, QStringLiteral("payParamList"), in, 0);
    return step;
}

} // namespace

QVariantMap AnswerDecoder::read(FuzzInput &in) const
{
    const int shape = in.choose(4);
    QVariantMap body;
    const QString typeKey = QStringLiteral("msgType");
    switch (in.choose(5)) {
    case 0: body.insert(typeKey, MessageType); break;
    case 1: break;
    case 2: body.insert(typeKey, QStringLiteral("otherPluginRequest")); break;
    case 3: body.insert(typeKey, QStringLiteral("TavrinPluginRequest")); break;
    default: body.insert(typeKey, 1); break;
    }
    const QVariant uid = readUid(in);
    if (uid.isValid())
        body.insert(QStringLiteral("uid"), uid);
    put(body, QStringLiteral("error"), in, Flags);
    putNumber(body, QStringLiteral("result"), in);
    putText(body, QStringLiteral("description"), in, Descriptions);
    putText(body, QStringLiteral("resultDescription"), in, Descriptions);
    switch (in.choose(4)) {
    case 1: body.insert(QStringLiteral("params"), readStep(in)); break;
    case 2: body.insert(QStringLiteral("params"), QStringLiteral("x")); break;
    case 3: body.insert(QStringLiteral("params"), QVariant(readStep(in)).toHash()); break;
    }

    const QString bodyKey = QStringLiteral("message");
    switch (shape) {
    case 0: return QVariantMap{{bodyKey, body}};
    case 1: return body;
    case 2: return QVariantMap{{bodyKey, QStringLiteral("text")}};
    default: return QVariantMap{{bodyKey, QVariant(body).toHash()}};
    }
}

QVariant AnswerDecoder::readUid(FuzzInput &in) const
{
    const QString last = m_sentUids.isEmpty() ? QString() : m_sentUids.last();
    switch (in.choose(8)) {
    case 0: return last;
    case 1: return m_sentUids.size() > 1 ? m_sentUids.at(m_sentUids.size() - 2) : QStringLiteral("1");
    case 2: return QString(QLatin1String(""));
    case 3: return QVariant();
    case 4: return in.text(Uids);
    case 5: return last.toLongLong();
    case 6: return last + QLatin1Char(' ');
    default: return m_sentUids.isEmpty() ? QString() : m_sentUids.first();
    }
}
