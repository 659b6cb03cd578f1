#pragma once

#include <QRandomGenerator>

// Random fractions in [0, 1), so that a draw can be scripted in tests.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual double nextFraction() = 0;
};

// Seeded from the time of day when it is made.
class QtRandom : public RandomSource
{
public:
    QtRandom();
    double nextFraction() override;

private:
    QRandomGenerator m_generator;
};
