#include "DesktopInput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QLabel>
#include <QWidget>
#include <QWindow>

namespace {
// Runs a command to its end while this process keeps handling its own events (the windows that
// the input goes to belong to it).
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        process.waitForFinished(5);
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString xy(const QPoint &p)
{
    return QString::number(p.x()) + QLatin1Char(' ') + QString::number(p.y());
}
} // namespace

DesktopInput::DesktopInput() = default;

DesktopInput::~DesktopInput()
{
    for (QProcess *process : qAsConst(m_pending)) {
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished();
        delete process;
    }
    if (m_windowManager.state() != QProcess::NotRunning) {
        m_windowManager.terminate();
        if (!m_windowManager.waitForFinished(3000)) {
            m_windowManager.kill();
            m_windowManager.waitForFinished();
        }
    }
}

bool DesktopInput::start()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    m_windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(15000))
        return false;
    // Ready once it has claimed the screen (it sets the supporting-window property); generous
    // bounds, since a loaded machine can take a while to start it.
    return QTest::qWaitFor(
        [] {
            QByteArray out;
            return run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                       &out)
                && out.contains("window id");
        },
        30000);
}

bool DesktopInput::xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

bool DesktopInput::key(const QString &keys)
{
    return xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30"), keys});
}

void DesktopInput::keyLater(const QString &keys)
{
    auto *process = new QProcess;
    m_pending.append(process);
    process->start(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

void DesktopInput::clickLater(const QPoint &global)
{
    auto *process = new QProcess;
    m_pending.append(process);
    process->start(QStringLiteral("xdotool"),
                   QStringList{QStringLiteral("mousemove")} + xy(global).split(QLatin1Char(' '))
                       + QStringList{QStringLiteral("click"), QStringLiteral("1")});
}

bool DesktopInput::type(const QString &text)
{
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

bool DesktopInput::moveTo(const QPoint &global)
{
    // Not --sync: it waits forever when the pointer is there already. The server handles requests
    // in order, so what follows happens at the new position anyway.
    return xdotool(QStringList{QStringLiteral("mousemove")} + xy(global).split(QLatin1Char(' ')));
}

bool DesktopInput::click(const QPoint &global, int button, int count)
{
    // The clicks of a double click from one command, well within the double-click interval.
    return moveTo(global)
        && xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
                    QStringLiteral("60"), QString::number(button)});
}

bool DesktopInput::drag(const QPoint &from, const QPoint &to)
{
    if (!moveTo(from) || !xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}))
        return false;
    for (int i = 1; i <= 8; ++i) {
        if (!moveTo(from + (to - from) * i / 8))
            return false;
    }
    return xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
}

bool DesktopInput::buttonDown(int button)
{
    return xdotool({QStringLiteral("mousedown"), QString::number(button)});
}

bool DesktopInput::buttonUp(int button)
{
    return xdotool({QStringLiteral("mouseup"), QString::number(button)});
}

QPoint DesktopInput::pressThroughPoint(const QWidget *widget)
{
    for (int y = 3; y < widget->height() - 3; y += 4) {
        for (int x = 3; x < widget->width() - 3; x += 4) {
            const QWidget *under = widget->childAt(x, y);
            const auto *label = qobject_cast<const QLabel *>(under);
            if (!under || (label && label->textInteractionFlags() == Qt::NoTextInteraction)
                || under->metaObject() == &QWidget::staticMetaObject)
                return QPoint(x, y);
        }
    }
    return {};
}

QPoint DesktopInput::serverPosition(const QWidget *window)
{
    QByteArray out;
    if (!run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), windowId(window)}, &out))
        return {};
    const QRegularExpression x(QStringLiteral("^X=(-?\\d+)$"), QRegularExpression::MultilineOption);
    const QRegularExpression y(QStringLiteral("^Y=(-?\\d+)$"), QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(out);
    return QPoint(x.match(text).captured(1).toInt(), y.match(text).captured(1).toInt());
}

QStringList DesktopInput::stacking()
{
    QByteArray out;
    if (!run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}, &out))
        return {};
    QStringList ids;
    const QRegularExpression hex(QStringLiteral("0x[0-9a-f]+"));
    auto it = hex.globalMatch(QString::fromLatin1(out));
    while (it.hasNext())
        ids << QString::number(it.next().captured(0).toULongLong(nullptr, 16));
    return ids;
}

QString DesktopInput::windowId(const QWidget *window)
{
    // The native window of now: changing some window flags makes a new one.
    const QWindow *handle = window->window()->windowHandle();
    return handle ? QString::number(handle->winId()) : QString();
}
