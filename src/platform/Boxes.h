#pragma once

#include <QString>

enum class BoxIcon { None, Warning };
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// Modal message and input boxes. An empty title stands for the application title.
class Boxes
{
public:
    virtual ~Boxes() = default;
    virtual BoxAnswer message(const QString& text, const QString& title = {},
                              BoxIcon icon = BoxIcon::None, BoxButtons buttons = BoxButtons::Ok) = 0;
    // Answers the typed text, or the empty text when the user cancels.
    virtual QString input(const QString& prompt, const QString& title,
                          const QString& defaultText) = 0;
};
