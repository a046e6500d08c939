// Design import: flattening a Figma node response of 5,000 nodes (parsed, and from its bytes), and
// importing a design whose Figma answers are all in the response cache.
//   cmake -S . -B build-bench -G Ninja -DVANTREL_BUILD_BENCH=ON && cmake --build build-bench --target bench_design
//   build-bench/bench/bench_design --benchmark_repetitions=11 --benchmark_report_aggregates_only=true
#include "BenchSupport.h"
#include "design/DesignImporter.h"
#include "design/FigmaCache.h"
#include "design/FigmaNodes.h"
#include "engine/FileWriter.h"

#include <QBuffer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace vantrel;

namespace {

QJsonObject box(double x, double y, double w, double h)
{
    return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

QJsonObject paint(double r, double g, double b)
{
    return QJsonObject{{"type", "SOLID"}, {"color", QJsonObject{{"r", r}, {"g", g}, {"b", b}, {"a", 1}}}};
}

// A frame holding 50 groups of 3 rows, each row a rectangle and 32 texts: 5,001 nodes in all,
// every one with a box, fills and (for texts) characters and a font size, as Figma sends them.
QJsonObject largeFrame()
{
    QJsonArray groups;
    int serial = 0;
    for (int g = 0; g < 50; ++g) {
        QJsonArray rows;
        for (int r = 0; r < 3; ++r) {
            QJsonArray cells;
            for (int c = 0; c < 32; ++c) {
                cells.append(QJsonObject{{"id", QStringLiteral("3:%1").arg(++serial)}, {"name", "标签"}, {"type", "TEXT"},
                                         {"characters", QStringLiteral("文本 %1").arg(serial)},
                                         {"absoluteBoundingBox", box(100 + c * 11, 300 + g * 40 + r * 12, 10, 8)},
                                         {"fills", QJsonArray{paint(0.1, 0.1, 0.1)}},
                                         {"strokes", QJsonArray{}},
                                         {"style", QJsonObject{{"fontSize", 14}, {"fontFamily", "PingFang SC"}}}});
            }
            rows.append(QJsonObject{{"id", QStringLiteral("2:%1").arg(++serial)}, {"name", "行"}, {"type", "RECTANGLE"},
                                    {"absoluteBoundingBox", box(100, 300 + g * 40 + r * 12, 375, 12)},
                                    {"fills", QJsonArray{paint(1, 1, 1)}}, {"cornerRadius", 4}, {"children", cells}});
        }
        groups.append(QJsonObject{{"id", QStringLiteral("1:%1").arg(++serial)}, {"name", "分组"}, {"type", "GROUP"},
                                  {"absoluteBoundingBox", box(100, 300 + g * 40, 375, 40)}, {"children", rows}});
    }
    return QJsonObject{{"id", "0:1"}, {"name", "长列表"}, {"type", "FRAME"},
                       {"absoluteBoundingBox", box(100, 300, 375, 2000)}, {"fills", QJsonArray{paint(1, 1, 1)}},
                       {"children", groups}};
}

QJsonObject nodeResponse()
{
    return QJsonObject{{"name", "App"}, {"nodes", QJsonObject{{"0:1", QJsonObject{{"document", largeFrame()}}}}}};
}

void flattenParsed(benchmark::State &state)
{
    const QJsonObject frame = largeFrame();
    qsizetype count = 0;
    for (auto _ : state) {
        QList<DesignNode> nodes;
        FigmaNodes::flattenFigmaNode(frame, QPointF(100, 300), nodes);
        count = nodes.size();
        benchmark::DoNotOptimize(nodes.data());
    }
    state.counters["nodes"] = double(count);
}
BENCHMARK(flattenParsed)->Unit(benchmark::kMillisecond)->UseRealTime();

void parseAndFlatten(benchmark::State &state)
{
    const QByteArray body = QJsonDocument(nodeResponse()).toJson(QJsonDocument::Compact);
    for (auto _ : state) {
        const QJsonObject response = QJsonDocument::fromJson(body).object();
        const QJsonObject document = response["nodes"].toObject()["0:1"].toObject()["document"].toObject();
        QList<DesignNode> nodes;
        FigmaNodes::flattenFigmaNode(document, QPointF(100, 300), nodes);
        benchmark::DoNotOptimize(nodes.data());
    }
    state.counters["bytes"] = double(body.size());
}
BENCHMARK(parseAndFlatten)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs one import to its end in a local event loop.
ImportedDesign importOnce(DesignImporter &importer, const FigmaReference &reference)
{
    std::optional<ImportedDesign> result;
    QEventLoop loop;
    auto run = [](DesignImporter *importer, FigmaReference reference, std::optional<ImportedDesign> *out,
                  QEventLoop *loop) -> QCoro::Task<void> {
        try {
            *out = co_await importer->importFigma(reference, QStringLiteral("token"));
        } catch (const std::exception &error) {
            qFatal("import failed: %s", error.what());
        }
        loop->quit();
    };
    auto task = run(&importer, reference, &result, &loop);
    if (!result)
        loop.exec();
    return *result;
}

// A Figma import whose node and image answers come from the cache and whose 750 × 4000 rendering
// is a data: link, so no network is involved: what is measured is the importer's own work.
void importCachedDesign(benchmark::State &state)
{
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit());
    QImage rendering(750, 4000, QImage::Format_RGB32);
    rendering.fill(QColor(240, 240, 240));
    for (int y = 0; y < rendering.height(); y += 40)
        rendering.setPixelColor(y % 750, y, QColor(20, 20, 20));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    rendering.save(&buffer, "PNG");

    const FigmaEndpoints endpoints(QUrl(QStringLiteral("http://127.0.0.1:9")), QUrl(FigmaEndpoints::kDefaultWebBase));
    const QString dataLink = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
    FigmaCache::writeFigmaCache(QJsonDocument(nodeResponse()).toJson(QJsonDocument::Compact), endpoints.nodesURL("KEY", "0:1"));
    FigmaCache::writeFigmaCache(QJsonDocument(QJsonObject{{"images", QJsonObject{{"0:1", dataLink}}}}).toJson(),
                                endpoints.imagesURL("KEY", "0:1"));

    DesignImporter importer(endpoints);
    const FigmaReference reference{QStringLiteral("KEY"), QStringLiteral("0:1")};
    qsizetype nodes = 0;
    for (auto _ : state) {
        const ImportedDesign design = importOnce(importer, reference);
        nodes = design.nodes.size();
        benchmark::DoNotOptimize(design.image.constBits());
    }
    state.counters["nodes"] = double(nodes);
    state.counters["png_bytes"] = double(png.size());
}
BENCHMARK(importCachedDesign)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return bench::runBenchmarks(argc, argv);
}
