<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>TavrinPluginHandler</name>
    <message>
        <source>Tavrin online check plugin</source>
        <translation>Онлайн-проверка Tavrin</translation>
    </message>
    <message>
        <source>Запрос данных пользователя. Пожалуйста, подождите...</source>
        <translation>Запрос данных пользователя. Пожалуйста, подождите...</translation>
    </message>
    <message>
        <source>Запрос пользовательских данных. Пожалуйста, подождите...</source>
        <translation>Запрос пользовательских данных. Пожалуйста, подождите...</translation>
    </message>
    <message>
        <source>Превышен интервал ожидания ответа от сервера</source>
        <translation>Превышен интервал ожидания ответа от сервера</translation>
    </message>
    <message>
        <source>Continue</source>
        <translation>Продолжить</translation>
    </message>
    <message>
        <source>Ошибка обработки запроса (%1).Попробуйте поздее</source>
        <translation>Ошибка обработки запроса (%1). Попробуйте позднее</translation>
    </message>
    <message>
        <source>Все введенные данные будут потеряны. Продолжить отмену платежа?</source>
        <translation>Все введенные данные будут потеряны. Продолжить отмену платежа?</translation>
    </message>
</context>
</TS>
