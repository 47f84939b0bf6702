#include "labelfitter.h"

#include <QtCore/QEvent>
#include <QtGui/QFontMetrics>
#include <QtGui/QTextLayout>
#include <QtWidgets/QLabel>

namespace {

const char MaximumLines[] = "maximumLines";

} // namespace

LabelFitter::LabelFitter(QLabel *label)
    : QObject(label)
    , m_label(label)
{
    label->installEventFilter(this);
}

void LabelFitter::setText(QLabel *label, const QString &text)
{
    if (!label)
        return;
    if (label->property(MaximumLines).toInt() <= 0) {
        label->setText(text);
        return;
    }
    auto *fitter = label->findChild<LabelFitter *>(QString(), Qt::FindDirectChildrenOnly);
    if (!fitter)
        fitter = new LabelFitter(label);
    fitter->m_text = text;
    fitter->m_width = -1;
    fitter->fit();
}

QString LabelFitter::fitted(const QLabel *label, const QString &text, int width, int maxLines)
{
    if (text.isEmpty() || width <= 0 || maxLines <= 0)
        return text;
    // Laid out as the label lays out its plain text, wrapped at word boundaries.
    QTextLayout layout(text, label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    int lastStart = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (++lines == maxLines)
            lastStart = line.textStart();
    }
    layout.endLayout();
    if (lines <= maxLines)
        return text;
    QString rest = text.mid(lastStart);
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics metrics(label->font());
    QString last = metrics.elidedText(rest, Qt::ElideRight, width);
    // An elided line always shows that something was left out, however the text breaks.
    if (!last.endsWith(QChar(0x2026)))
        last = metrics.elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
    return text.left(lastStart) + last;
}

bool LabelFitter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_label && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange
                               || event->type() == QEvent::StyleChange))
        fit();
    return QObject::eventFilter(watched, event);
}

void LabelFitter::fit()
{
    if (m_label->text() != m_shown && m_width >= 0)
        return;
    m_label->ensurePolished();
    const int margin = 2 * (m_label->margin() + qMax(0, m_label->indent()));
    // Until its layout has given the label a size, its width means nothing: the whole text waits.
    const int width = m_label->testAttribute(Qt::WA_Resized) ? m_label->contentsRect().width() - margin : 0;
    if (width == m_width && m_label->text() == m_shown)
        return;
    m_width = width;
    m_shown = fitted(m_label, m_text, width, m_label->property(MaximumLines).toInt());
    m_label->setText(m_shown);
}
