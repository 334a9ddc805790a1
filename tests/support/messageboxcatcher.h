#ifndef MESSAGEBOXCATCHER_H
#define MESSAGEBOXCATCHER_H

#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>

/// Answers the message boxes that the window opens while it lives, recording their
/// titles and texts, so that a test never hangs in a modal loop.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    explicit MessageBoxCatcher(QMessageBox::StandardButton answer = QMessageBox::Ok);

    void setAnswer(QMessageBox::StandardButton answer) { reply = answer; }

    QStringList titles;
    QStringList texts;
    QStringList informativeTexts;

private:
    void poll();

    QTimer timer;
    QMessageBox::StandardButton reply;
};

#endif // MESSAGEBOXCATCHER_H
