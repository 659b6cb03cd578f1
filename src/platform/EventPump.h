#pragma once

// Lets pending window events run, so that a long loop keeps the window responsive.
class EventPump
{
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};
