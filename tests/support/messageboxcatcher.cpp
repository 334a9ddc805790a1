#include "messageboxcatcher.h"

#include <QAbstractButton>
#include <QApplication>

MessageBoxCatcher::MessageBoxCatcher(QMessageBox::StandardButton answer) : reply(answer)
{
    connect(&timer, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    timer.start(10);
}

void MessageBoxCatcher::poll()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
        return;
    }
    titles << box->windowTitle();
    texts << box->text();
    informativeTexts << box->informativeText();
    QAbstractButton* button = box->button(reply);
    if (button == nullptr) {
        button = box->buttons().value(0);
    }
    if (button != nullptr) {
        button->click();
    } else {
        box->reject();
    }
}
