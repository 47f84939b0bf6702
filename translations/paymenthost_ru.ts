<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>EndScreen</name>
    <message>
        <source>Ещё раз</source>
        <translation>Ещё раз</translation>
    </message>
    <message>
        <source>Выход</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Проверьте данные платежа</source>
        <translation>Проверьте данные платежа</translation>
    </message>
    <message>
        <source>Платёж отменён</source>
        <translation>Платёж отменён</translation>
    </message>
    <message>
        <source>Введённые данные не сохранены</source>
        <translation>Введённые данные не сохранены</translation>
    </message>
</context>
<context>
    <name>MessageWidgetController</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>PluginProviderParameterInputController</name>
    <message>
        <source>Выберите один из вариантов</source>
        <translation>Выберите один из вариантов</translation>
    </message>
    <message>
        <source>Введите значение по образцу %1</source>
        <translation>Введите значение по образцу %1</translation>
    </message>
    <message>
        <source>Значение введено не полностью или с ошибкой</source>
        <translation>Значение введено не полностью или с ошибкой</translation>
    </message>
</context>
<context>
    <name>TerminalSimulator</name>
    <message>
        <source>Терминал: %1</source>
        <translation>Терминал: %1</translation>
    </message>
    <message>
        <source>Телефон клиента +%1: SMS «Код подтверждения: %2»</source>
        <translation>Телефон клиента +%1: SMS «Код подтверждения: %2»</translation>
    </message>
</context>
<context>
    <name>TerminalWindow</name>
    <message>
        <source>Телефон клиента: сообщений нет</source>
        <translation>Телефон клиента: сообщений нет</translation>
    </message>
</context>
<context>
    <name>messagesView</name>
    <message>
        <source>Нет</source>
        <translation>Нет</translation>
    </message>
    <message>
        <source>Да</source>
        <translation>Да</translation>
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
        <translation>Назад</translation>
    </message>
    <message>
        <source>Далее</source>
        <translation>Далее</translation>
    </message>
</context>
</TS>
