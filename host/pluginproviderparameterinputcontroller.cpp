#include "pluginproviderparameterinputcontroller.h"

#include "formproject.h"
#include "formviewer.h"
#include "hostmonitor.h"
#include "labelfitter.h"
#include "sessionmanager.h"
#include "touchlist.h"
#include "widgetnames.h"
#include "widgetscontroller.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QLoggingCategory>
#include <QtCore/QRegularExpression>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QListWidget>
#include <QtWidgets/QPushButton>

Q_LOGGING_CATEGORY(lcInput, "paymenthost.input")

const QString PluginProviderParameterInputController::FormName =
    QStringLiteral("parameterInputView");

namespace {

const char KeyProperty[] = "keypadKey";

// The characters of a QLineEdit input mask that stand for something the customer types; the
// rest are written as they stand.
QString maskClass(QChar c, bool *required)
{
    *required = c.isUpper() || c == QLatin1Char('9') || c == QLatin1Char('D');
    switch (c.unicode()) {
    case 'A': case 'a': return QStringLiteral("[^\\W\\d_]");
    case 'N': case 'n': return QStringLiteral("[^\\W_]");
    case 'X': case 'x': return QStringLiteral("\\S");
    case '9': case '0': return QStringLiteral("\\d");
    case 'D': case 'd': return QStringLiteral("[1-9]");
    case '#': return QStringLiteral("[\\d+-]");
    case 'H': case 'h': return QStringLiteral("[0-9A-Fa-f]");
    case 'B': case 'b': return QStringLiteral("[01]");
    default: return QString();
    }
}

bool isMaskMeta(QChar c)
{
    return c == QLatin1Char('>') || c == QLatin1Char('<') || c == QLatin1Char('!');
}

// The mask as the customer should read it: a slot for each character to type, the fixed ones as
// they stand. Shown as digits ("9999") a mask reads as a code already filled in.
QString maskSlots(const QString &mask)
{
    const QString layout = mask.section(QLatin1Char(';'), 0, 0);
    QString shown;
    for (int i = 0; i < layout.size(); ++i) {
        const QChar c = layout.at(i);
        bool required = false;
        if (isMaskMeta(c))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < layout.size())
            shown += layout.at(++i);
        else
            shown += maskClass(c, &required).isEmpty() ? c : QLatin1Char('_');
    }
    return shown;
}

// The whole-match expression of pattern. Compiling one, with its machine code, costs more than
// all the checks of a screen, and the same few patterns come back for every customer: each is
// compiled once per process. Copies share the compiled pattern.
QRegularExpression wholeMatch(const QString &pattern)
{
    static const int MaxKept = 64;
    static QHash<QString, QRegularExpression> kept;
    const auto known = kept.constFind(pattern);
    if (known != kept.cend())
        return known.value();
    if (kept.size() >= MaxKept)
        kept.clear();
    QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
    expression.optimize();
    kept.insert(pattern, expression);
    return expression;
}

} // namespace

PluginProviderParameterInputController::PluginProviderParameterInputController(
    SessionManager *sessionManager, FormViewer *viewer, QString formName, QString formFile,
    QObject *parent)
    : QObject(parent)
    , m_viewer(viewer)
    , m_sessionManager(sessionManager)
    , m_formName(formName.isEmpty() ? FormName : formName)
    , m_formFile(formFile)
{
}

PluginProviderParameterInputController::~PluginProviderParameterInputController()
{
    if (ownsUi())
        m_ui->hide();
}

void PluginProviderParameterInputController::setParameter(QString providerName,
                                                          ProviderParameter parameter,
                                                          bool readOnly)
{
    m_providerName = providerName;
    m_parameter = parameter;
    m_readOnly = readOnly;
    m_nextTried = false;
    m_pattern = wholeMatchPattern(parameter);
    m_maskPattern = maskPattern(parameter.mask());
    m_text = parameter.value();
    if (parameter.isChoice()) {
        bool isPosition = false;
        const int position = m_text.toInt(&isPosition);
        bool known = false;
        for (const QVariant &value : parameter.values())
            known = known || (isPosition && value.toInt() == position);
        if (!known)
            m_text.clear();
    }
    takeUi();
    render();
    if (ownsUi())
        m_ui->show();
    emit HostMonitor::instance()->parameterShown(this);
}

void PluginProviderParameterInputController::setText(const QString &text)
{
    if (m_readOnly || m_parameter.isChoice())
        return;
    m_text = text;
    render();
}

bool PluginProviderParameterInputController::choose(int position)
{
    if (!m_parameter.isChoice())
        return false;
    for (const QVariant &value : m_parameter.values()) {
        if (value.toInt() == position) {
            m_text = QString::number(position);
            render();
            return true;
        }
    }
    return false;
}

bool PluginProviderParameterInputController::canGoNext() const
{
    if (m_parameter.isChoice() && !m_parameter.values().isEmpty())
        return !m_text.isEmpty();
    return accepts(m_text);
}

QString PluginProviderParameterInputController::hint() const
{
    if (canGoNext())
        return QString();
    if (m_parameter.isChoice())
        return tr("Выберите один из вариантов");
    if (!m_parameter.mask().isEmpty())
        return tr("Введите значение по образцу %1").arg(maskSlots(m_parameter.mask()));
    return tr("Значение введено не полностью или с ошибкой");
}

bool PluginProviderParameterInputController::canBecomeValid(const QString &value) const
{
    if (m_parameter.isChoice() || value.isEmpty() || accepts(value))
        return true;
    // A partial match is a value that more typing may still complete.
    const auto partial = [&value](const QRegularExpression &expression) {
        if (!expression.isValid() || expression.pattern().isEmpty())
            return true;
        const QRegularExpressionMatch match =
            expression.match(value, 0, QRegularExpression::PartialPreferCompleteMatch);
        return match.hasMatch() || match.hasPartialMatch();
    };
    return partial(m_pattern) && (m_parameter.mask().isEmpty() || partial(m_maskPattern));
}

bool PluginProviderParameterInputController::acceptsValue(const ProviderParameter &parameter,
                                                          const QString &value)
{
    if (parameter.isChoice())
        return true;
    const QRegularExpression pattern = wholeMatchPattern(parameter);
    if (pattern.isValid() && !pattern.pattern().isEmpty() && !pattern.match(value).hasMatch())
        return false;
    return parameter.mask().isEmpty() || matchesMask(parameter.mask(), value);
}

bool PluginProviderParameterInputController::matchesMask(const QString &mask, const QString &value)
{
    return maskPattern(mask).match(value).hasMatch();
}

bool PluginProviderParameterInputController::accepts(const QString &value) const
{
    if (m_parameter.isChoice())
        return true;
    if (m_pattern.isValid() && !m_pattern.pattern().isEmpty() && !m_pattern.match(value).hasMatch())
        return false;
    return m_parameter.mask().isEmpty() || m_maskPattern.match(value).hasMatch();
}

QRegularExpression PluginProviderParameterInputController::wholeMatchPattern(
    const ProviderParameter &parameter)
{
    if (parameter.regExp().isEmpty())
        return QRegularExpression();
    const QRegularExpression pattern = wholeMatch(parameter.regExp());
    if (!pattern.isValid())
        qCWarning(lcInput) << "ignoring the broken pattern of" << parameter.name() << ":"
                           << pattern.errorString();
    return pattern;
}

QRegularExpression PluginProviderParameterInputController::maskPattern(const QString &mask)
{
    // The part after ';' names the blank character, which does not concern a finished value.
    const int blankSeparator = mask.indexOf(QLatin1Char(';'));
    const QString layout = blankSeparator < 0 ? mask : mask.left(blankSeparator);
    QString pattern;
    for (int i = 0; i < layout.size(); ++i) {
        const QChar c = layout.at(i);
        if (isMaskMeta(c))
            continue;
        if (c == QLatin1Char('\\') && i + 1 < layout.size()) {
            pattern += QRegularExpression::escape(layout.at(++i));
            continue;
        }
        bool required = false;
        const QString cls = maskClass(c, &required);
        if (cls.isEmpty())
            pattern += QRegularExpression::escape(c);
        else
            pattern += required ? cls : cls + QLatin1Char('?');
    }
    return wholeMatch(pattern);
}

void PluginProviderParameterInputController::next()
{
    if (!canGoNext()) {
        m_nextTried = true;
        render();
        return;
    }
    emit needNext(m_text);
}

void PluginProviderParameterInputController::back()
{
    emit needBack();
}

void PluginProviderParameterInputController::hide()
{
    if (ownsUi())
        m_ui->hide();
}

void PluginProviderParameterInputController::show()
{
    if (ownsUi())
        m_ui->show();
}

void PluginProviderParameterInputController::keyPressed()
{
    if (!ownsUi() || m_readOnly || m_parameter.isChoice())
        return;
    const QString key = sender()->property(KeyProperty).toString();
    if (key == QLatin1String("backspace")) {
        m_text.chop(1);
    } else if (key == QLatin1String("clear")) {
        m_text.clear();
    } else if (!m_parameter.mask().isEmpty() && m_text.size() >= maskSlots(m_parameter.mask()).size()) {
        // Every slot is filled: a key more would only be cut off by the field.
        return;
    } else {
        // Fill in the mask's fixed characters that come before the next typed one.
        QString mask = m_parameter.mask().section(QLatin1Char(';'), 0, 0);
        mask.remove(QLatin1Char('<')).remove(QLatin1Char('>')).remove(QLatin1Char('!'));
        while (m_text.size() < mask.size()) {
            bool required = false;
            const QChar c = mask.at(m_text.size());
            if (c == QLatin1Char('\\') || !maskClass(c, &required).isEmpty())
                break;
            m_text += c;
        }
        m_text += key;
    }
    render();
}

void PluginProviderParameterInputController::choiceClicked()
{
    if (!ownsUi())
        return;
    if (auto *list = m_ui->widget<QListWidget>(QStringLiteral("choiceList"))) {
        if (QListWidgetItem *item = list->currentItem())
            choose(item->data(Qt::UserRole).toInt());
    }
}

void PluginProviderParameterInputController::editTextChanged(const QString &text)
{
    if (!ownsUi() || m_readOnly || m_text == text)
        return;
    m_text = text;
    render();
}

bool PluginProviderParameterInputController::ownsUi() const
{
    return m_ui && m_ui->isOwnedBy(this);
}

void PluginProviderParameterInputController::takeUi()
{
    if (!m_viewer)
        return;
    WidgetsController *ui = m_viewer->getUi(m_formName);
    if (!ui) {
        QString file = m_formFile;
        FormProject *project = m_sessionManager ? m_sessionManager->activeProject() : nullptr;
        if (file.isEmpty() && project) {
            file = QDir(project->projectDir()).filePath(WidgetNames().parameterInputViewFileName());
            if (!QFile::exists(file))
                file.clear();
        }
        if (file.isEmpty())
            file = QStringLiteral(":/paymenthost/forms/parameterInputView.ui");
        if (m_viewer->loadFromFile(file, m_formName, QMap<QString, QString>()))
            ui = m_viewer->getUi(m_formName);
    }
    m_ui = ui;
    if (!ui)
        return;
    ui->setOwner(this);
    const auto buttons = ui->form()->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        const QString name = button->objectName();
        if (name == QLatin1String("nextButton")) {
            connect(button, &QPushButton::clicked, this,
                    &PluginProviderParameterInputController::next, Qt::UniqueConnection);
        } else if (name == QLatin1String("backButton")) {
            connect(button, &QPushButton::clicked, this,
                    &PluginProviderParameterInputController::back, Qt::UniqueConnection);
        } else if (name.startsWith(QLatin1String("key"))) {
            QString key = name.mid(3).toLower();
            button->setProperty(KeyProperty, key);
            connect(button, &QPushButton::clicked, this,
                    &PluginProviderParameterInputController::keyPressed, Qt::UniqueConnection);
        }
    }
    if (auto *list = ui->widget<QListWidget>(QStringLiteral("choiceList"))) {
        TouchList::prepare(list);
        connect(list, &QListWidget::itemClicked, this,
                &PluginProviderParameterInputController::choiceClicked, Qt::UniqueConnection);
    }
    if (auto *edit = ui->widget<QLineEdit>(QStringLiteral("valueEdit")))
        connect(edit, &QLineEdit::textEdited, this,
                &PluginProviderParameterInputController::editTextChanged, Qt::UniqueConnection);
}

void PluginProviderParameterInputController::render()
{
    if (!ownsUi())
        return;
    const bool choice = m_parameter.isChoice();
    LabelFitter::setText(m_ui->widget<QLabel>(QStringLiteral("providerNameLabel")), m_providerName);
    LabelFitter::setText(m_ui->widget<QLabel>(QStringLiteral("parameterLabel")), m_parameter.label());
    if (auto *edit = m_ui->widget<QLineEdit>(QStringLiteral("valueEdit"))) {
        edit->setVisible(!choice);
        edit->setReadOnly(m_readOnly);
        // The mask's slots show in the field, "12__", and fill as the customer types.
        const QString inputMask = m_parameter.mask().isEmpty()
            ? QString()
            : m_parameter.mask().section(QLatin1Char(';'), 0, 0) + QStringLiteral(";_");
        if (edit->inputMask() != inputMask)
            edit->setInputMask(inputMask);
        if (edit->text() != m_text) {
            edit->setText(m_text);
            // In the slot after the last typed character, not after the empty ones.
            edit->setCursorPosition(m_text.size());
        }
    }
    if (auto *keypad = m_ui->widget<QWidget>(QStringLiteral("keypad")))
        keypad->setVisible(!choice && !m_readOnly
                           && m_parameter.keyboardType() == QLatin1String("number"));
    if (auto *list = m_ui->widget<QListWidget>(QStringLiteral("choiceList"))) {
        list->setVisible(choice);
        if (choice) {
            // The choices in the service's order, which is the order of their positions.
            QMap<int, QString> byPosition;
            const QMap<QString, QVariant> values = m_parameter.values();
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                byPosition.insert(it.value().toInt(), it.key());
            QSignalBlocker blocker(list);
            // The same choices stay where the customer scrolled them; a tap only marks one.
            bool same = list->count() == byPosition.size();
            int row = 0;
            for (auto it = byPosition.cbegin(); same && it != byPosition.cend(); ++it, ++row)
                same = list->item(row)->text() == it.value() && list->item(row)->data(Qt::UserRole).toInt() == it.key();
            if (!same) {
                list->clear();
                for (auto it = byPosition.cbegin(); it != byPosition.cend(); ++it)
                    (new QListWidgetItem(it.value(), list))->setData(Qt::UserRole, it.key());
                TouchList::fitRows(list);
            }
            for (row = 0; row < list->count(); ++row) {
                if (QString::number(list->item(row)->data(Qt::UserRole).toInt()) == m_text) {
                    if (list->currentRow() != row)
                        list->setCurrentRow(row);
                    break;
                }
            }
            if (row == list->count())
                list->clearSelection();
        }
    }
    // Not while the customer is still typing a value that may yet be right.
    const bool hinted = m_nextTried || !canBecomeValid(m_text);
    LabelFitter::setText(m_ui->widget<QLabel>(QStringLiteral("hintLabel")), hinted ? hint() : QString());
    if (auto *button = m_ui->widget<QPushButton>(QStringLiteral("nextButton")))
        button->setEnabled(canGoNext());
}
