#pragma once

#include "platform/ProgressBar.h"

#include <QPointer>
#include <QProgressBar>

// A progress bar that shows a caption of its own ("Progress Bar") instead of the
// percentage, word for word.
class CaptionedProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    explicit CaptionedProgressBar(QWidget* parent = nullptr);

    QString text() const override { return m_caption; }
    void setCaption(const QString& caption);

private:
    QString m_caption;
};

// The run's view of the bar: the percentage in tenths, so that a long list still
// moves it, and the caption.
class QtProgressBar : public ProgressBar
{
public:
    explicit QtProgressBar(CaptionedProgressBar* bar);

    void setValue(double percent) override;
    void setText(const QString& text) override;

    static constexpr int kSteps = 1000;

private:
    QPointer<CaptionedProgressBar> m_bar;
};
