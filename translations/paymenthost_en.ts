<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>EndScreen</name>
    <message>
        <source>Ещё раз</source>
        <translation>Start again</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Проверьте данные платежа</source>
        <translation>Check the payment details</translation>
    </message>
    <message>
        <source>Платёж отменён</source>
        <translation>Payment cancelled</translation>
    </message>
    <message>
        <source>Введённые данные не сохранены</source>
        <translation>The data entered was not kept</translation>
    </message>
</context>
<context>
    <name>PluginProviderParameterInputController</name>
    <message>
        <source>Выберите один из вариантов</source>
        <translation>Choose one of the options</translation>
    </message>
    <message>
        <source>Введите значение по образцу %1</source>
        <translation>Enter the value as %1</translation>
    </message>
    <message>
        <source>Значение введено не полностью или с ошибкой</source>
        <translation>The value is incomplete or has a mistake</translation>
    </message>
</context>
<context>
    <name>TerminalSimulator</name>
    <message>
        <source>Терминал: %1</source>
        <translation>Terminal: %1</translation>
    </message>
    <message>
        <source>Телефон клиента +%1: SMS «Код подтверждения: %2»</source>
        <translation>Customer&apos;s phone +%1: SMS “Confirmation code: %2”</translation>
    </message>
</context>
<context>
    <name>TerminalWindow</name>
    <message>
        <source>Телефон клиента: сообщений нет</source>
        <translation>Customer&apos;s phone: no messages</translation>
    </message>
</context>
<context>
    <name>messagesView</name>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>parameterInputView</name>
    <message>
        <source>Назад</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Далее</source>
        <translation>Next</translation>
    </message>
</context>
</TS>
