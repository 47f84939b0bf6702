#include "answerdecoder.h"

#include "fuzzinput.h"

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

} // namespace

QVariantMap AnswerDecoder::read(FuzzInput &in) const
{
    const int shape = in.choose(4);
    QVariantMap body;
    switch (in.choose(5)) {
    case 0: body.insert(QStringLiteral("msgType"), MessageType); break;
    case 1: break;
    case 2: body.insert(QStringLiteral("msgType"), QStringLiteral("otherPluginRequest")); break;
    case 3: body.insert(QStringLiteral("msgType"), QStringLiteral("TavrinPluginRequest")); break;
    default: body.insert(QStringLiteral("msgType"), 1); break;
    }
    const QVariant uid = readUid(in);
    if (uid.isValid())
        body.insert(QStringLiteral("uid"), uid);
    putFlag(body, QStringLiteral("error"), in);
    putNumber(body, QStringLiteral("result"), in);
    putText(body, QStringLiteral("description"), in, Descriptions);
    putText(body, QStringLiteral("resultDescription"), in, Descriptions);
    switch (in.choose(4)) {
    case 0: break;
    case 1: body.insert(QStringLiteral("params"), readStep(in)); break;
    case 2: body.insert(QStringLiteral("params"), QStringLiteral("x")); break;
    default: {
        const QVariantMap step = readStep(in);
        QVariantHash hash;
        for (QVariantMap::const_iterator it = step.constBegin(); it != step.constEnd(); ++it)
            hash.insert(it.key(), it.value());
        body.insert(QStringLiteral("params"), hash);
        break;
    }
    }

    switch (shape) {
    case 0: return QVariantMap{{QStringLiteral("message"), body}};
    case 1: return body;
    case 2: return QVariantMap{{QStringLiteral("message"), QStringLiteral("text")}};
    default: {
        QVariantHash hash;
        for (QVariantMap::const_iterator it = body.constBegin(); it != body.constEnd(); ++it)
            hash.insert(it.key(), it.value());
        return QVariantMap{{QStringLiteral("message"), hash}};
    }
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

QVariantMap AnswerDecoder::readStep(FuzzInput &in)
{
    QVariantMap step;
    putFlag(step, QStringLiteral("isCompleted"), in);
    putFlag(step, QStringLiteral("isError"), in);
    putText(step, QStringLiteral("statusDescription"), in, Descriptions);
    putNumber(step, QStringLiteral("currentStep"), in);
    QVariant list;
    if (readList(in, 0, &list))
        step.insert(QStringLiteral("payParamList"), list);
    return step;
}

bool AnswerDecoder::readList(FuzzInput &in, int depth, QVariant *list)
{
    switch (in.choose(7)) {
    case 0:
        return false;
    case 1:
        *list = QVariant();
        return true;
    case 2:
        *list = QStringLiteral("x");
        return true;
    case 3: {
        int count = in.byte();
        // 255 asks for a long list: more entries than any screen shows.
        if (count == 255)
            count = 2000;
        QVariantList entries;
        for (int i = 0; i < count; ++i)
            entries.append(readEntry(in, depth));
        *list = entries;
        return true;
    }
    case 4:
        *list = QVariantMap();
        return true;
    case 5:
        *list = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        return true;
    default:
        *list = deepChain(40);
        return true;
    }
}

QVariant AnswerDecoder::readEntry(FuzzInput &in, int depth)
{
    switch (in.choose(4)) {
    case 0: return readParameter(in, depth);
    case 1: return QStringLiteral("x");
    case 2: return 5;
    default: return QVariant();
    }
}

QVariantMap AnswerDecoder::readParameter(FuzzInput &in, int depth)
{
    QVariantMap parameter;
    putText(parameter, QStringLiteral("name"), in, Names);
    putText(parameter, QStringLiteral("title"), in, Titles);
    putText(parameter, QStringLiteral("type"), in, Types);
    putValue(parameter, QStringLiteral("value"), in);
    putText(parameter, QStringLiteral("regexp"), in, Patterns);
    putText(parameter, QStringLiteral("mask"), in, Masks);
    putFlag(parameter, QStringLiteral("isEditable"), in);
    putFlag(parameter, QStringLiteral("isVisible"), in);
    // Choices and their details need two levels; a few more cost little.
    QVariant list;
    if (depth < 4 && readList(in, depth + 1, &list))
        parameter.insert(QStringLiteral("paramList"), list);
    return parameter;
}

QVariant AnswerDecoder::deepChain(int levels)
{
    QVariantMap entry{{QStringLiteral("name"), QStringLiteral("deep")}};
    for (int i = 0; i < levels; ++i)
        entry = QVariantMap{{QStringLiteral("name"), QString::number(i)},
                            {QStringLiteral("type"), QStringLiteral("enum")},
                            {QStringLiteral("paramList"), QVariantList{entry}}};
    return QVariantList{entry};
}

void AnswerDecoder::putFlag(QVariantMap &map, const QString &key, FuzzInput &in)
{
    switch (in.choose(9)) {
    case 0: return;
    case 1: map.insert(key, true); return;
    case 2: map.insert(key, false); return;
    case 3: map.insert(key, QStringLiteral("true")); return;
    case 4: map.insert(key, QStringLiteral("false")); return;
    case 5: map.insert(key, 0); return;
    case 6: map.insert(key, 1); return;
    case 7: map.insert(key, QVariant()); return;
    default: map.insert(key, QVariantList()); return;
    }
}

void AnswerDecoder::putNumber(QVariantMap &map, const QString &key, FuzzInput &in)
{
    switch (in.choose(11)) {
    case 0: return;
    case 1: map.insert(key, 0); return;
    case 2: map.insert(key, 1); return;
    case 3: map.insert(key, 2); return;
    case 4: map.insert(key, -1); return;
    case 5: map.insert(key, int(qint8(in.byte()))); return;
    case 6: map.insert(key, QStringLiteral("0")); return;
    case 7: map.insert(key, QStringLiteral("1")); return;
    case 8: map.insert(key, QStringLiteral("x")); return;
    case 9: map.insert(key, 1e10); return;
    default: map.insert(key, QStringLiteral("2")); return;
    }
}

void AnswerDecoder::putText(QVariantMap &map, const QString &key, FuzzInput &in,
                            const QStringList &table)
{
    switch (in.choose(6)) {
    case 0: return;
    case 1: map.insert(key, in.text(table)); return;
    case 2: map.insert(key, 42); return;
    case 3: map.insert(key, QVariant()); return;
    case 4: map.insert(key, QVariantList{QStringLiteral("a")}); return;
    default: map.insert(key, QVariantMap()); return;
    }
}

void AnswerDecoder::putValue(QVariantMap &map, const QString &key, FuzzInput &in)
{
    switch (in.choose(7)) {
    case 0: return;
    case 1: map.insert(key, in.text(Values)); return;
    case 2: map.insert(key, int(in.byte())); return;
    case 3: map.insert(key, 1.5); return;
    case 4: map.insert(key, QVariant()); return;
    case 5: map.insert(key, QVariantList{QStringLiteral("a")}); return;
    default: map.insert(key, true); return;
    }
}
