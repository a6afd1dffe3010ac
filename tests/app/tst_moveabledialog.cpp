#include "app/ui/MoveableDialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QtTest>

class TestMoveableDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void leftDragFollowsThePointerWithoutDrift();
    void onlyALeftPressOnTheDialogItselfDrags();

private:
    // Sends a mouse event to the widget under the global point, as Qt would deliver it.
    void send(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
              Qt::MouseButtons buttons);
    void dragTo(const QPoint &to) { send(m_dialog, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton); }

    MoveableDialog *m_dialog = nullptr;
    QLineEdit *m_edit = nullptr;
};

void TestMoveableDialog::init()
{
    m_dialog = new MoveableDialog(nullptr, Qt::FramelessWindowHint);
    m_dialog->resize(300, 200);
    m_edit = new QLineEdit(m_dialog);
    m_edit->setGeometry(10, 150, 120, 30);
    m_dialog->move(100, 100);
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
}

void TestMoveableDialog::cleanup()
{
    // Leave no drag behind for the next case.
    send(m_dialog, QEvent::MouseButtonRelease, m_dialog->mapToGlobal(QPoint(5, 5)), Qt::LeftButton, {});
    delete m_dialog;
}

void TestMoveableDialog::send(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
                              Qt::MouseButtons buttons)
{
    QMouseEvent event(type, target->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void TestMoveableDialog::leftDragFollowsThePointerWithoutDrift()
{
    const QPoint start = m_dialog->pos();
    const QPoint press = m_dialog->mapToGlobal(QPoint(20, 20));
    send(m_dialog, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    dragTo(press + QPoint(-10, 5));
    dragTo(press + QPoint(13, 7));
    QCOMPARE(m_dialog->pos(), start + QPoint(13, 7));
    send(m_dialog, QEvent::MouseButtonRelease, press + QPoint(13, 7), Qt::LeftButton, {});
    dragTo(press + QPoint(100, 100));
    QCOMPARE(m_dialog->pos(), start + QPoint(13, 7));
}

void TestMoveableDialog::onlyALeftPressOnTheDialogItselfDrags()
{
    const QPoint start = m_dialog->pos();
    const QPoint onEdit = m_edit->mapToGlobal(QPoint(5, 5));
    send(m_edit, QEvent::MouseButtonPress, onEdit, Qt::LeftButton, Qt::LeftButton);
    send(m_edit, QEvent::MouseMove, onEdit + QPoint(40, 40), Qt::NoButton, Qt::LeftButton);
    dragTo(onEdit + QPoint(40, 40));
    QCOMPARE(m_dialog->pos(), start);
    send(m_edit, QEvent::MouseButtonRelease, onEdit + QPoint(40, 40), Qt::LeftButton, {});

    // The right button neither starts a drag nor ends one.
    const QPoint press = m_dialog->mapToGlobal(QPoint(30, 30));
    send(m_dialog, QEvent::MouseButtonPress, press, Qt::RightButton, Qt::RightButton);
    send(m_dialog, QEvent::MouseMove, press + QPoint(25, 25), Qt::NoButton, Qt::RightButton);
    QCOMPARE(m_dialog->pos(), start);
    send(m_dialog, QEvent::MouseButtonRelease, press + QPoint(25, 25), Qt::RightButton, {});
    send(m_dialog, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    send(m_dialog, QEvent::MouseButtonRelease, press, Qt::RightButton, Qt::LeftButton);
    dragTo(press + QPoint(8, 9));
    QCOMPARE(m_dialog->pos(), start + QPoint(8, 9));
}

QTEST_MAIN(TestMoveableDialog)
#include "tst_moveabledialog.moc"
