#include "benchanswers.h"

#include <QtCore/QJsonDocument>

namespace {

QVariantMap parameter(const QString &name, const QString &title, const QVariant &value,
                      bool editable, const QString &type = QStringLiteral("string"),
                      const QString &regexp = QString(),
                      const QVariantList &paramList = QVariantList())
{
    return QVariantMap{
        {QStringLiteral("name"), name},
        {QStringLiteral("title"), title},
        {QStringLiteral("type"), type},
        {QStringLiteral("value"), value},
        {QStringLiteral("regexp"), regexp},
        {QStringLiteral("mask"), QString()},
        {QStringLiteral("isEditable"), editable},
        {QStringLiteral("isVisible"), true},
        {QStringLiteral("paramList"), paramList},
    };
}

QVariantMap answer(const QVariantMap &body, const QVariantMap &step)
{
    QVariantMap message = body;
    message.insert(QStringLiteral("params"), step);
    return QVariantMap{{QStringLiteral("message"), message}};
}

QVariantMap goodBody()
{
    return QVariantMap{
        {QStringLiteral("msgType"), QStringLiteral("tavrinPluginRequest")},
        {QStringLiteral("uid"), QString()},
        {QStringLiteral("error"), false},
        {QStringLiteral("result"), 0},
        {QStringLiteral("description"), QStringLiteral("OK")},
        {QStringLiteral("resultDescription"), QString()},
    };
}

QVariantMap completedStep(int step, const QVariantList &parameters)
{
    return QVariantMap{
        {QStringLiteral("isCompleted"), true},
        {QStringLiteral("isError"), false},
        {QStringLiteral("statusDescription"), QString()},
        {QStringLiteral("currentStep"), step},
        {QStringLiteral("payParamList"), parameters},
    };
}

QVariantMap namedCopy(QVariantMap parameter, int index)
{
    parameter.insert(QStringLiteral("name"),
                     parameter.value(QStringLiteral("name")).toString() + QString::number(index));
    return parameter;
}

} // namespace

QVariantList BenchAnswers::typicalParameters()
{
    const QVariantList details{
        parameter(QStringLiteral("card"), QStringLiteral("Карта"), QStringLiteral("**** 4321"), false),
        parameter(QStringLiteral("bank"), QStringLiteral("Банк"), QStringLiteral("Таврин-Банк"), false),
        parameter(QStringLiteral("addinfo"), QStringLiteral("Примечание"),
                  QStringLiteral("Счёт открыт 12.03.2019\r\nОтделение 0042"), false),
    };
    const QVariantList choices{
        parameter(QStringLiteral("account1"), QString(), QString(), false, QStringLiteral("string"),
                  QString(), details),
    };
    return QVariantList{
        parameter(QStringLiteral("fam"), QStringLiteral("Фамилия"), QStringLiteral("Иванов"), false),
        parameter(QStringLiteral("name"), QStringLiteral("Имя"), QStringLiteral("Иван"), false),
        parameter(QStringLiteral("fname"), QStringLiteral("Отчество"), QStringLiteral("Иванович"), false),
        parameter(QStringLiteral("pas_ser"), QStringLiteral("Серия паспорта"), QString(), true,
                  QStringLiteral("string"), QStringLiteral("^\\d{4}$")),
        parameter(QStringLiteral("account"), QStringLiteral("Счёт зачисления"), QString(), false,
                  QStringLiteral("enum"), QString(), choices),
        parameter(QStringLiteral("smscode"), QStringLiteral("Код из SMS"), QString(), true,
                  QStringLiteral("string"), QStringLiteral("\\*")),
    };
}

QVariantList BenchAnswers::largeParameters(int count)
{
    const QVariantList typical = typicalParameters();
    QVariantList parameters;
    for (int i = 0; i < count; ++i)
        parameters.append(namedCopy(typical.at(i % typical.size()).toMap(), i));
    return parameters;
}

QVariantMap BenchAnswers::firstStepAnswer(const QVariantList &parameters)
{
    return decoded(answer(goodBody(), completedStep(1, parameters)));
}

QVariantMap BenchAnswers::secondStepAnswer()
{
    const QVariantList known{
        parameter(QStringLiteral("fam"), QStringLiteral("Фамилия"), QStringLiteral("Иванов"), false),
        parameter(QStringLiteral("name"), QStringLiteral("Имя"), QStringLiteral("Иван"), false),
        parameter(QStringLiteral("fname"), QStringLiteral("Отчество"), QStringLiteral("Иванович"), false),
        parameter(QStringLiteral("ID_serie"), QStringLiteral("Серия"), QStringLiteral("4510"), false),
        parameter(QStringLiteral("ID_number"), QStringLiteral("Номер"), QStringLiteral("123456"), false),
    };
    return decoded(answer(goodBody(), completedStep(2, known)));
}

QVariantMap BenchAnswers::withUid(QVariantMap answer, const QString &uid)
{
    QVariantMap body = answer.value(QStringLiteral("message")).toMap();
    body.insert(QStringLiteral("uid"), uid);
    answer.insert(QStringLiteral("message"), body);
    return answer;
}

QByteArray BenchAnswers::jsonText(const QVariantMap &answer)
{
    return QJsonDocument::fromVariant(answer).toJson(QJsonDocument::Compact);
}

QVariantMap BenchAnswers::decoded(const QVariantMap &answer)
{
    return QJsonDocument::fromJson(jsonText(answer)).toVariant().toMap();
}

QVariantMap BenchAnswers::firstRequestParameters()
{
    const QVariantMap msisdn{{QStringLiteral("name"), QStringLiteral("msisdn")},
                             {QStringLiteral("value"), QStringLiteral("79001234567")}};
    return QVariantMap{{QStringLiteral("payParamList"), QVariantList{msisdn}},
                       {QStringLiteral("currentStep"), QStringLiteral("1")}};
}

QString BenchAnswers::typedValue(const QString &name)
{
    if (name == QLatin1String("phone"))
        return QStringLiteral("9001234567");
    if (name == QLatin1String("pas_ser"))
        return QStringLiteral("4510");
    if (name == QLatin1String("smscode"))
        return QStringLiteral("1234");
    if (name == QLatin1String("card_num"))
        return QStringLiteral("4276000011112222");
    return QString();
}
