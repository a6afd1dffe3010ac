#include "app/ui/FontWarmUp.h"

#include <QApplication>
#include <QFontMetrics>

FontWarmUp::FontWarmUp()
    : m_thread([font = QApplication::font()] {
        const QFontMetrics metrics(font);
        metrics.horizontalAdvance(QStringLiteral("Pelorin 播放")); // untranslated: only measured, never shown
    })
{
}

FontWarmUp::~FontWarmUp()
{
    m_thread.join();
}
