#ifndef ENDSCREEN_H
#define ENDSCREEN_H

#include <QtWidgets/QWidget>

class Provider;
class QLabel;
class QPushButton;
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
    // Offers "again" and "close" to a person at the window.
    void setButtonsVisible(bool visible);

signals:
    void againClicked();
    void closeClicked();

private:
    void clearRows();

    QLabel *m_title;
    QLabel *m_subtitle;
    QWidget *m_rows;
    QVBoxLayout *m_rowLayout;
    QPushButton *m_again;
    QPushButton *m_close;
};

#endif // ENDSCREEN_H
