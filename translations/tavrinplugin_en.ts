<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>TavrinPluginHandler</name>
    <message>
        <source>Tavrin online check plugin</source>
        <translation>Tavrin online check plugin</translation>
    </message>
    <message>
        <source>Запрос данных пользователя. Пожалуйста, подождите...</source>
        <translation>Looking up the customer. Please wait...</translation>
    </message>
    <message>
        <source>Запрос пользовательских данных. Пожалуйста, подождите...</source>
        <translation>Checking the data entered. Please wait...</translation>
    </message>
    <message>
        <source>Превышен интервал ожидания ответа от сервера</source>
        <translation>The server did not answer in time</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Continue</translation>
    </message>
    <message>
        <source>Ошибка обработки запроса (%1).Попробуйте поздее</source>
        <translation>The request could not be processed (%1). Please try again later</translation>
    </message>
    <message>
        <source>Все введенные данные будут потеряны. Продолжить отмену платежа?</source>
        <translation>All the data you entered will be lost. Cancel the payment?</translation>
    </message>
</context>
</TS>
