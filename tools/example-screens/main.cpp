// Writes the bundled example pair: an iPhone-sized screenshot (3x) and its design export (2x).
#include "ExampleScreen.h"

#include <QGuiApplication>
#include <QImageWriter>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const struct {
        ExampleScreen::Variant variant;
        double scale;
        const char *name;
    } outputs[] = {{ExampleScreen::Variant::device, 3.0, "/checkout-device.png"},
                   {ExampleScreen::Variant::design, 2.0, "/checkout-design.png"}};
    for (const auto &out : outputs) {
        QImageWriter writer(dir + QLatin1String(out.name), "png");
        writer.setQuality(0);
        if (!writer.write(ExampleScreen::draw(out.variant, out.scale))) {
            std::fprintf(stderr, "%s\n", qPrintable(writer.errorString()));
            return 1;
        }
    }
    return 0;
}
