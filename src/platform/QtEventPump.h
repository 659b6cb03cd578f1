#pragma once

#include "platform/EventPump.h"

// Lets the window repaint and take clicks in the middle of a long loop.
class QtEventPump : public EventPump
{
public:
    void processEvents() override;
};
