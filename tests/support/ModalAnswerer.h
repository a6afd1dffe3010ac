#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// Answers the modal dialogs that the code under test runs, one scripted button text at a time,
// and records each dialog's title and text (for message boxes).
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalAnswerer(const QStringList &buttonTexts, QObject *parent = nullptr);

    struct Seen
    {
        QString title;
        QString text;
        QStringList buttons;
    };
    QList<Seen> seen() const { return m_seen; }
    bool done() const { return m_answers.isEmpty(); }

private:
    void poll();

    QStringList m_answers;
    QList<Seen> m_seen;
    QTimer m_timer;
};
