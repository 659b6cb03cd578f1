#include "platform/widgets/QtProgressBar.h"

#include <algorithm>
#include <cmath>

CaptionedProgressBar::CaptionedProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setRange(0, QtProgressBar::kSteps);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void CaptionedProgressBar::setCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

QtProgressBar::QtProgressBar(CaptionedProgressBar* bar) : m_bar(bar) {}

void QtProgressBar::setValue(double percent)
{
    if (!m_bar)
        return;
    const double clamped = std::isnan(percent) ? 0.0 : std::clamp(percent, 0.0, 100.0);
    m_bar->setValue(static_cast<int>(std::lround(clamped * kSteps / 100.0)));
}

void QtProgressBar::setText(const QString& text)
{
    if (m_bar)
        m_bar->setCaption(text);
}
