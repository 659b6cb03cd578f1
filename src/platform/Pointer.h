#pragma once

// The main window's mouse pointer: the default arrow, the hourglass of a running
// command, or the custom hand cursor.
enum class PointerShape { Default, Busy, Custom };

class Pointer
{
public:
    virtual ~Pointer() = default;
    virtual void setShape(PointerShape shape) = 0;
    virtual PointerShape shape() const = 0;
    bool isBusy() const { return shape() == PointerShape::Busy; }
};
