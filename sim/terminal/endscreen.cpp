#include "endscreen.h"

#include "provider.h"

#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHBoxLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QVBoxLayout>

EndScreen::EndScreen(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_subtitle(new QLabel(this))
    , m_rows(new QWidget(this))
    , m_rowLayout(new QVBoxLayout(m_rows))
    , m_again(new QPushButton(QStringLiteral("Ещё раз"), this))
    , m_close(new QPushButton(QStringLiteral("Выход"), this))
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
        "#endRows { background: white; border: 2px solid #457b9d; border-radius: 8px; }"
        ".endLabel { font-size: 18px; color: #457b9d; }"
        ".endValue { font-size: 20px; font-weight: bold; }"
        "QPushButton { font-size: 24px; min-height: 64px; min-width: 180px; border-radius: 12px;"
        " background: #1d3557; color: white; }"));
    m_title->setObjectName(QStringLiteral("endTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    m_subtitle->setObjectName(QStringLiteral("endSubtitle"));
    m_subtitle->setAlignment(Qt::AlignCenter);
    m_subtitle->setWordWrap(true);
    m_rows->setObjectName(QStringLiteral("endRows"));
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
    layout->addWidget(m_rows);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_again, &QPushButton::clicked, this, &EndScreen::againClicked);
    connect(m_close, &QPushButton::clicked, this, &EndScreen::closeClicked);
    setButtonsVisible(false);
}

void EndScreen::setButtonsVisible(bool visible)
{
    m_again->setVisible(visible);
    m_close->setVisible(visible);
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
    m_title->setText(QStringLiteral("Проверьте данные платежа"));
    m_subtitle->setText(provider.name());
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
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    m_rowLayout->addLayout(grid);
    m_rows->setVisible(row > 0);
}

void EndScreen::showCancellation()
{
    clearRows();
    m_title->setText(QStringLiteral("Платёж отменён"));
    m_subtitle->setText(QStringLiteral("Введённые данные не сохранены"));
    m_rows->setVisible(false);
}
