#pragma once

#include <QString>

// The window's progress bar: a percentage from 0 to 100 and a caption.
class ProgressBar
{
public:
    virtual ~ProgressBar() = default;
    virtual void setValue(double percent) = 0;
    virtual void setText(const QString& text) = 0;
};
