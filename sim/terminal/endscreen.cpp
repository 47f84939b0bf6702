#include "endscreen.h"

#include "labelfitter.h"
#include "provider.h"

#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QScrollArea>
#include <QtWidgets/QScroller>
#include <QtWidgets/QVBoxLayout>

namespace {

// The widest a label of the payment details may be before it wraps: the values get the rest.
const int LabelColumnWidth = 300;

} // namespace

EndScreen::EndScreen(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_subtitle(new QLabel(this))
    , m_scroll(new QScrollArea(this))
    , m_rows(new QWidget)
    , m_rowLayout(new QVBoxLayout(m_rows))
    , m_again(new QPushButton(tr("Ещё раз"), this))
    , m_close(new QPushButton(tr("Выход"), this))
{
    setObjectName(QStringLiteral("endScreen"));
    // The provider and its values come from the host and the service: never laid out as markup.
    m_title->setTextFormat(Qt::PlainText);
    m_subtitle->setTextFormat(Qt::PlainText);
    // A plain QWidget subclass paints its style sheet background only when asked to.
    setAttribute(Qt::WA_StyledBackground);
    // The palette of the host's forms, so that the end reads as the terminal's next screen.
    setStyleSheet(QStringLiteral(
        "#endScreen { background: #f1faee; }"
        "QLabel { color: #1d3557; }"
        "#endTitle { font-size: 30px; font-weight: bold; }"
        "#endSubtitle { font-size: 20px; }"
        "#endScroll { background: white; border: 2px solid #457b9d; border-radius: 8px; }"
        "#endRows { background: white; }"
        "QScrollBar:vertical { width: 24px; background: #f1faee; }"
        "QScrollBar::handle:vertical { background: #a8dadc; min-height: 48px; border-radius: 6px; }"
        ".endLabel { font-size: 18px; color: #457b9d; }"
        ".endValue { font-size: 20px; font-weight: bold; }"
        "QPushButton { font-size: 24px; min-height: 56px; min-width: 180px; border-radius: 12px;"
        " background: #1d3557; color: white; }"
        "QPushButton:disabled { background: #8d99ae; }"));
    m_title->setObjectName(QStringLiteral("endTitle"));
    m_again->setObjectName(QStringLiteral("againButton"));
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    m_subtitle->setObjectName(QStringLiteral("endSubtitle"));
    m_subtitle->setAlignment(Qt::AlignCenter);
    m_subtitle->setWordWrap(true);
    // The provider's name may be of any length: the details and the buttons keep their room.
    m_subtitle->setProperty("maximumLines", 2);
    m_rows->setObjectName(QStringLiteral("endRows"));
    // Many details scroll, with a finger as with the bar, and the buttons stay on the screen.
    m_scroll->setObjectName(QStringLiteral("endScroll"));
    m_scroll->setWidget(m_rows);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QScroller::grabGesture(m_scroll->viewport(), QScroller::LeftMouseButtonGesture);
    m_rowLayout->setContentsMargins(20, 12, 20, 12);
    m_rowLayout->setSpacing(4);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_again);
    buttons->addStretch();
    buttons->addWidget(m_close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 30, 40, 24);
    layout->setSpacing(16);
    layout->addWidget(m_title);
    layout->addWidget(m_subtitle);
    layout->addWidget(m_scroll, 1);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_again, &QPushButton::clicked, this, &EndScreen::againClicked);
    connect(m_close, &QPushButton::clicked, this, &EndScreen::closeClicked);
}

void EndScreen::setAgainEnabled(bool enabled)
{
    m_again->setEnabled(enabled);
}

void EndScreen::clearRows()
{
    while (QLayoutItem *item = m_rowLayout->takeAt(0)) {
        if (QLayout *inner = item->layout()) {
            while (QLayoutItem *cell = inner->takeAt(0)) {
                delete cell->widget();
                delete cell;
            }
        }
        delete item->widget();
        delete item;
    }
}

void EndScreen::showPaymentDetails(const Provider &provider)
{
    clearRows();
    m_title->setText(tr("Проверьте данные платежа"));
    LabelFitter::setText(m_subtitle, provider.name());
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(6);
    int row = 0;
    for (const ProviderParameter &parameter : provider.parameters()) {
        auto *label = new QLabel(parameter.label().isEmpty() ? parameter.name() : parameter.label(), m_rows);
        label->setProperty("class", QStringLiteral("endLabel"));
        label->setTextFormat(Qt::PlainText);
        auto *value = new QLabel(parameter.displayValue().isEmpty() ? QStringLiteral("—")
                                                                    : parameter.displayValue(), m_rows);
        value->setProperty("class", QStringLiteral("endValue"));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        value->setWordWrap(true);
        // A label over two lines keeps its value on its first line, as in the other rows.
        label->setMinimumWidth(qMin(label->sizeHint().width(), LabelColumnWidth));
        grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(value, row, 1, Qt::AlignTop);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    m_rowLayout->addLayout(grid);
    // As high as the details, as far as the screen has room: a short list leaves no empty box.
    const int frame = 2 * m_scroll->frameWidth();
    m_scroll->setMaximumHeight(m_rowLayout->totalHeightForWidth(width() - 80 - frame) + frame);
    m_scroll->setVisible(row > 0);
}

void EndScreen::showCancellation()
{
    clearRows();
    m_title->setText(tr("Платёж отменён"));
    LabelFitter::setText(m_subtitle, tr("Введённые данные не сохранены"));
    m_scroll->setVisible(false);
}
