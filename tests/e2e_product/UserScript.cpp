#include "UserScript.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QStackedWidget>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

UserScript::UserScript(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &UserScript::poll);
}

void UserScript::step(const QString &name, std::function<bool()> ready, std::function<void()> act, int timeoutMs)
{
    m_steps.append({name, std::move(ready), std::move(act), timeoutMs});
}

void UserScript::start()
{
    m_stepClock.start();
    m_timer.start(20);
}

void UserScript::later(std::function<void()> fn)
{
    QTimer::singleShot(0, qApp, std::move(fn));
}

void UserScript::poll()
{
    // The timer fires again inside local event loops that an action's effects start.
    if (m_polling || finished())
        return;
    m_polling = true;
    const Step &current = m_steps.at(m_next);
    if (current.ready()) {
        std::printf("ok   %s (%lld ms)\n", qPrintable(current.name), static_cast<long long>(m_stepClock.elapsed()));
        std::fflush(stdout);
        ++m_next;
        m_stepClock.restart();
        if (current.act)
            current.act();
        if (finished())
            m_timer.stop();
    } else if (m_stepClock.elapsed() > current.timeoutMs) {
        fail(QStringLiteral("%1: not seen within %2 ms").arg(current.name).arg(current.timeoutMs));
    }
    m_polling = false;
}

QString UserScript::describeScreen()
{
    QStringList lines;
    if (QWidget *modal = QApplication::activeModalWidget()) {
        QString line = QStringLiteral("modal %1 \"%2\"").arg(QString::fromLatin1(modal->metaObject()->className()),
                                                             modal->windowTitle());
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            line += QStringLiteral(" text \"%1\"").arg(box->text());
        lines << line;
    }
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        QString line = QStringLiteral("window %1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
        if (auto *box = qobject_cast<QMessageBox *>(w))
            line += QStringLiteral(" \"%1\" \"%2\"").arg(box->windowTitle(), box->text());
        for (auto *stack : w->findChildren<QStackedWidget *>())
            if (stack->currentWidget())
                line += QStringLiteral(" [%1]").arg(stack->currentWidget()->objectName());
        lines << line;
        for (auto *list : w->findChildren<QListWidget *>())
            if (list->isVisible())
                lines << QStringLiteral("  list %1: %2 rows").arg(list->objectName()).arg(list->count());
        for (auto *label : w->findChildren<QLabel *>())
            if (label->isVisible() && label->objectName().endsWith(QLatin1String("StateLabel")) && !label->text().isEmpty())
                lines << QStringLiteral("  %1: %2").arg(label->objectName(), label->text());
    }
    return lines.join(QLatin1Char('\n'));
}

void UserScript::fail(const QString &message)
{
    std::printf("FAIL %s\n%s\n", qPrintable(message), qPrintable(describeScreen()));
    std::fflush(stdout);
    std::_Exit(3);
}
