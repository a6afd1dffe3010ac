#include "ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

ModalAnswerer::ModalAnswerer(const QStringList &buttonTexts, QObject *parent)
    : QObject(parent)
    , m_answers(buttonTexts)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || m_answers.isEmpty() || !modal->isVisible())
        return;
    Seen seen;
    seen.title = modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        seen.text = box->text();
    const auto buttons = modal->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->isVisible())
            seen.buttons.append(button->text());
    }
    for (QAbstractButton *button : buttons) {
        if (button->isVisible() && button->text() == m_answers.first()) {
            m_answers.removeFirst();
            m_seen.append(seen);
            button->click();
            return;
        }
    }
}
