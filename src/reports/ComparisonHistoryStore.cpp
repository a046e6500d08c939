#include "reports/ComparisonHistoryStore.h"

#include "engine/FileWriter.h"
#include "engine/ModelJson.h"
#include "reports/ReportImages.h"
#include "reports/StoredComparison.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>

namespace vantrel {

namespace {

AppError imageEncodingError()
{
    return AppError(QStringLiteral("Vantrel"), 31, QStringLiteral("无法生成历史记录图片"));
}

bool isPlainComponent(const QString &name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') && !name.contains(u'\\')
           && !name.contains(QChar(0));
}

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

ComparisonHistoryStore::ComparisonHistoryStore() : m_root(defaultRootPath()) {}

ComparisonHistoryStore::ComparisonHistoryStore(QString rootPath) : m_root(std::move(rootPath)) {}

QString ComparisonHistoryStore::defaultRootPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Vantrel/History");
}

QString ComparisonHistoryStore::directoryName(const QDateTime &createdAt, const QUuid &id)
{
    return createdAt.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + u'-'
           + json::uuidString(id).left(8);
}

void ComparisonHistoryStore::write(const QImage &image, const QString &path)
{
    const std::optional<QByteArray> png = pngData(image);
    if (!png)
        throw imageEncodingError();
    FileWriter::writeAtomically(path, *png);
}

ComparisonHistoryEntry ComparisonHistoryStore::save(const ComparisonResult &result, const QString &designName,
                                                    const QString &deviceName) const
{
    FileWriter::makeDirectory(m_root);
    ComparisonHistoryEntry entry;
    entry.id = QUuid::createUuid();
    entry.createdAt = result.createdAt;
    entry.designName = designName;
    entry.deviceName = deviceName;
    entry.score = result.score;
    entry.status = result.status;
    entry.directoryName = directoryName(result.createdAt, entry.id);
    const QString dir = m_root + u'/' + entry.directoryName;
    const StoredComparison stored{result.createdAt, result.score, result.changedPixelRatio,
                                  result.meanColorDelta, result.status, result.issues};
    // Encoded before anything is written: a value JSON cannot hold leaves no half entry behind.
    QByteArray entryJson;
    QByteArray resultJson;
    try {
        entryJson = json::prettyBytes(json::toJson(entry));
        resultJson = json::prettyBytes(stored.toJson());
    } catch (const JsonEncodeError &error) {
        throw FileWriteError(error.message);
    }
    FileWriter::makeDirectory(dir);

    // The images are encoded side by side first; the files are still written one after the other,
    // in their fixed order.
    const ReportImages images(result, ReportImages::kHistoryOrder);

    FileWriter::writeAtomically(dir + QStringLiteral("/entry.json"), entryJson);
    FileWriter::writeAtomically(dir + QStringLiteral("/result.json"), resultJson);
    for (const ReportImages::Asset &asset : images.assets()) {
        if (!asset.png)
            throw imageEncodingError();
        FileWriter::writeAtomically(dir + u'/' + asset.fileName, *asset.png);
    }
    return entry;
}

std::optional<QString> ComparisonHistoryStore::entryDirectory(const ComparisonHistoryEntry &entry) const
{
    // A name read from disk is trusted only as a single component directly below the root.
    if (!isPlainComponent(entry.directoryName))
        return std::nullopt;
    return m_root + u'/' + entry.directoryName;
}

std::optional<ComparisonResult> ComparisonHistoryStore::load(const ComparisonHistoryEntry &entry) const
{
    const std::optional<QString> dir = entryDirectory(entry);
    if (!dir)
        return std::nullopt;
    const std::optional<QByteArray> bytes = readFile(*dir + QStringLiteral("/result.json"));
    if (!bytes)
        return std::nullopt;
    StoredComparison stored;
    try {
        stored = StoredComparison::fromJson(json::parseObject(*bytes));
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
    ComparisonResult result;
    result.createdAt = stored.createdAt;
    result.score = stored.score;
    result.changedPixelRatio = stored.changedPixelRatio;
    result.meanColorDelta = stored.meanColorDelta;
    result.status = stored.status;
    result.issues = stored.issues;
    for (const ReportImages::Source &file : ReportImages::kHistoryOrder) {
        QImage image(*dir + u'/' + QString::fromUtf16(file.fileName), "png");
        if (image.isNull())
            return std::nullopt;
        result.*(file.field) = image;
    }
    return result;
}

QList<ComparisonHistoryEntry> ComparisonHistoryStore::entries() const
{
    QList<ComparisonHistoryEntry> list;
    const QDir root(m_root);
    const QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const std::optional<QByteArray> bytes = readFile(root.filePath(name) + QStringLiteral("/entry.json"));
        if (!bytes)
            continue;
        try {
            list.append(json::historyEntryFromJson(json::parseObject(*bytes)));
        } catch (const JsonDecodeError &) {
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const ComparisonHistoryEntry &a, const ComparisonHistoryEntry &b) {
        return a.createdAt > b.createdAt;
    });
    return list;
}

} // namespace vantrel
