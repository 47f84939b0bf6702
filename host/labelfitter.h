#ifndef LABELFITTER_H
#define LABELFITTER_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include "hostexport.h"

class QLabel;

// Keeps a word-wrapped label of a kiosk form within the lines its form gives it (the label's
// "maximumLines" property), however long the service's text: what does not fit ends in "…".
// A form's buttons and keypad below the label then keep their size. The text is fitted again
// when the label's width or font changes.
class PAYMENTHOST_EXPORT LabelFitter : public QObject
{
    Q_OBJECT
public:
    // Shows text on label, within the label's maximumLines when it has that property.
    static void setText(QLabel *label, const QString &text);
    // The text cut to maxLines lines of width pixels in the label's font, ending in "…".
    static QString fitted(const QLabel *label, const QString &text, int width, int maxLines);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit LabelFitter(QLabel *label);
    void fit();

    QLabel *m_label;
    QString m_text;
    // What this fitter put on the label: another text set by someone else is left alone.
    QString m_shown;
    int m_width = -1;
};

#endif // LABELFITTER_H
