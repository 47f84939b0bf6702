#include "labelfitter.h"

#include <QtCore/QEvent>
#include <QtCore/QPair>
#include <QtCore/QVector>
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
    // Laid out as the label lays out its plain text, wrapped at word boundaries; a word longer
    // than the line is broken where it must be, and the label is told so with a line break.
    QTextLayout layout(text, label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QVector<QPair<int, int>> lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append({line.textStart(), line.textLength()});
    }
    layout.endLayout();
    const bool cut = lines.size() > maxLines;
    QString shown;
    const int whole = cut ? maxLines - 1 : lines.size();
    for (int i = 0; i < whole; ++i) {
        const QString part = text.mid(lines.at(i).first, lines.at(i).second);
        shown += part;
        if (i + 1 < lines.size() && !part.isEmpty() && !part.back().isSpace())
            shown += QLatin1Char('\n');
    }
    if (!cut)
        return shown;
    // The last line takes the rest of the text, cut to the width with "…".
    QString rest = text.mid(lines.at(whole).first);
    rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics metrics(label->font());
    QString last = metrics.elidedText(rest, Qt::ElideRight, width);
    if (!last.endsWith(QChar(0x2026)))
        last = metrics.elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
    return shown + last;
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
