#pragma once

#include <QImage>

// An order-checkout screen of a shopping app, drawn at a given scale (points to pixels). The
// device variant differs from the design in a few visible ways: another price, another button
// colour, a missing promotion banner, a row pushed down, a badge on a tab and another clock time.
class ExampleScreen {
public:
    enum class Variant { design, device };

    static constexpr int kWidthPoints = 393;
    static constexpr int kHeightPoints = 852;

    static QImage draw(Variant variant, double scale);
};
