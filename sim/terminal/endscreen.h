#ifndef ENDSCREEN_H
#define ENDSCREEN_H

#include <QtWidgets/QWidget>

class Provider;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// The simulator's stand-in for the terminal's next screen once the plugin is done: the payment
// details the plugin filled in, or the news that the payment was cancelled.
class EndScreen : public QWidget
{
    Q_OBJECT
public:
    explicit EndScreen(QWidget *parent = nullptr);

    void showPaymentDetails(const Provider &provider);
    void showCancellation();
    // Whether "again" may start another payment; "close" always ends the run.
    void setAgainEnabled(bool enabled);

signals:
    void againClicked();
    void closeClicked();

private:
    void clearRows();

    QLabel *m_title;
    QLabel *m_subtitle;
    QScrollArea *m_scroll;
    QWidget *m_rows;
    QVBoxLayout *m_rowLayout;
    QPushButton *m_again;
    QPushButton *m_close;
};

#endif // ENDSCREEN_H
