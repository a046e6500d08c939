// iPhone live stream and element tree: MJPEG frames cut out and decoded per second, and the parse
// of a large WebDriverAgent page source.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench --target bench_devices_ios
//   build-bench/bench/bench_devices_ios --benchmark_repetitions=15 --benchmark_report_aggregates_only=true
#include "BenchSupport.h"
#include "devices/ios/DeviceElementXMLParser.h"
#include "devices/ios/MJPEGStreamClient.h"
#include "support/MjpegTestData.h"

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <atomic>

using namespace vantrel;

namespace {

// A phone-like screen: gradient background, bands of "text" and cards, so the JPEG carries real
// detail rather than a flat colour.
QByteArray screenJpeg(QSize size, int quality)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(245, 245, 250));
    gradient.setColorAt(1, QColor(200, 210, 230));
    painter.fillRect(image.rect(), gradient);
    const int row = size.height() / 40;
    for (int i = 0; i < 40; ++i) {
        const QColor color = QColor::fromHsv((i * 37) % 360, 120, 200);
        painter.fillRect(size.width() / 20, i * row + row / 4, size.width() * (6 + i % 9) / 16, row / 2, color);
        for (int x = 0; x < size.width(); x += 9)
            painter.fillRect(x, i * row + (x * 7) % row, 4, 2, Qt::black);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// Frames received in 64 KiB pieces, as they come off the socket, cut out and decoded.
void mjpegFrames(benchmark::State &state)
{
    const QSize full(1179, 2556);
    const QSize size = state.range(0) == 75 ? QSize(full.width() * 3 / 4, full.height() * 3 / 4) : full;
    const int quality = int(state.range(1));
    const QByteArray part = test::mjpegPart(screenJpeg(size, quality));
    MJPEGStreamClient client;
    std::atomic<int> frames{0};
    client.setOnFrame([&frames](const QImage &) { ++frames; });
    const quint64 generation = client.generation();
    constexpr qsizetype kPiece = 64 * 1024;
    for (auto _ : state) {
        for (qsizetype offset = 0; offset < part.size(); offset += kPiece)
            client.receive(generation, part.mid(offset, kPiece));
    }
    if (frames.load() != int(state.iterations()))
        state.SkipWithError("a frame was not decoded");
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_bytes"] = double(part.size());
}
BENCHMARK(mjpegFrames)
    ->ArgNames({"scale", "quality"})
    ->Args({75, 50})  // what the session asks WebDriverAgent for
    ->Args({75, 75})
    ->Args({100, 75})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

QString pageSource(int count)
{
    QString xml = QStringLiteral(
        R"(<?xml version="1.0" encoding="UTF-8"?><AppiumAUT><XCUIElementTypeApplication type="XCUIElementTypeApplication" name="Demo" label="Demo" enabled="true" visible="true" x="0" y="0" width="393" height="852">)");
    int open = 0;
    for (int i = 1; i < count; ++i) {
        // Cells of five elements, nested three deep, some without name.
        const QString name = i % 3 == 0 ? QString() : QStringLiteral(R"( name="item%1" label="商品 %1")").arg(i);
        xml += QStringLiteral(R"(<XCUIElementTypeOther type="XCUIElementTypeOther"%1 enabled="true" visible="%2" x="%3" y="%4.5" width="%5" height="44">)")
                   .arg(name, i % 7 == 0 ? QStringLiteral("false") : QStringLiteral("true"))
                   .arg(16 + i % 5)
                   .arg(i * 3 % 800)
                   .arg(300 - i % 50);
        ++open;
        if (i % 5 == 4) {
            while (open > 0) {
                xml += QStringLiteral("</XCUIElementTypeOther>");
                --open;
            }
        }
    }
    while (open-- > 0)
        xml += QStringLiteral("</XCUIElementTypeOther>");
    return xml + QStringLiteral("</XCUIElementTypeApplication></AppiumAUT>");
}

void parsePageSource(benchmark::State &state)
{
    const QString xml = pageSource(int(state.range(0)));
    for (auto _ : state) {
        const QList<DeviceElement> elements = DeviceElementXMLParser::parse(xml);
        if (elements.size() != state.range(0))
            state.SkipWithError("unexpected element count");
        benchmark::DoNotOptimize(elements);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["source_kib"] = double(xml.toUtf8().size()) / 1024.0;
}
BENCHMARK(parsePageSource)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
