#include "design/DesignDocument.h"

#include "engine/FileWriter.h"
#include "engine/ImageFileReader.h"
#include "engine/ImageHelpers.h"
#include "engine/JsonReader.h"
#include "engine/ModelJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantrel {

const QString DesignDocument::kJsonFileName = QStringLiteral("design.json");
const QString DesignDocument::kImageFileName = QStringLiteral("design.png");

QJsonObject DesignDocument::toJson(const ImportedDesign &design, const QString &imagePath)
{
    QJsonArray nodes;
    for (const DesignNode &node : design.nodes)
        nodes.append(json::toJson(node));
    QJsonArray frames;
    for (const DesignFrameOption &frame : design.availableFrames)
        frames.append(json::toJson(frame));
    QJsonObject object{{QStringLiteral("name"), design.name},
                       {QStringLiteral("source"), design.source},
                       {QStringLiteral("kind"), rawValue(design.kind)},
                       {QStringLiteral("pixelSize"), json::toJson(design.pixelSize)},
                       {QStringLiteral("canvasSize"), json::toJson(design.canvasSize)},
                       {QStringLiteral("nodes"), nodes},
                       {QStringLiteral("availableFrames"), frames},
                       {QStringLiteral("isVisualOnly"), design.isVisualOnly},
                       {QStringLiteral("image"), imagePath}};
    if (design.selectedFrameID)
        object.insert(QStringLiteral("selectedFrameID"), *design.selectedFrameID);
    return object;
}

ImportedDesign DesignDocument::fromJson(const QJsonObject &object)
{
    const json::JsonReader reader(object);
    ImportedDesign design;
    design.name = reader.string(QStringLiteral("name"));
    design.source = reader.string(QStringLiteral("source"));
    const QString kind = reader.string(QStringLiteral("kind"));
    const std::optional<DesignSourceKind> parsedKind = designSourceKindFromRaw(kind);
    if (!parsedKind)
        json::JsonReader::fail(QStringLiteral("kind"), QStringLiteral("未知的来源类型 ") + kind);
    design.kind = *parsedKind;
    design.pixelSize = json::sizeFromJson(reader.object(QStringLiteral("pixelSize")));
    design.canvasSize = json::sizeFromJson(reader.object(QStringLiteral("canvasSize")));
    for (const QJsonValue &node : reader.array(QStringLiteral("nodes"))) {
        if (!node.isObject())
            json::JsonReader::fail(QStringLiteral("nodes"), QStringLiteral("元素必须是对象"));
        design.nodes.append(json::designNodeFromJson(node.toObject()));
    }
    for (const QJsonValue &frame : reader.array(QStringLiteral("availableFrames"))) {
        if (!frame.isObject())
            json::JsonReader::fail(QStringLiteral("availableFrames"), QStringLiteral("元素必须是对象"));
        design.availableFrames.append(json::frameOptionFromJson(frame.toObject()));
    }
    design.selectedFrameID = reader.optionalString(QStringLiteral("selectedFrameID"));
    design.isVisualOnly = reader.boolean(QStringLiteral("isVisualOnly"));
    return design;
}

QString DesignDocument::write(const ImportedDesign &design, const QString &directory)
{
    const std::optional<QByteArray> png = pngData(design.image);
    if (!png)
        throw DesignDocumentError(QStringLiteral("设计稿图片无法编码为 PNG"));
    FileWriter::makeDirectory(directory);
    const QDir dir(directory);
    FileWriter::writeAtomically(dir.filePath(kImageFileName), *png);
    const QString jsonPath = dir.filePath(kJsonFileName);
    FileWriter::writeAtomically(jsonPath, json::prettyBytes(toJson(design, kImageFileName)));
    return jsonPath;
}

ImportedDesign DesignDocument::read(const QString &jsonPath)
{
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly))
        throw DesignDocumentError(QStringLiteral("无法读取设计稿文件 %1：%2").arg(jsonPath, file.errorString()));
    ImportedDesign design;
    QString imagePath;
    try {
        const QJsonObject object = json::parseObject(file.readAll());
        design = fromJson(object);
        imagePath = json::JsonReader(object).string(QStringLiteral("image"));
    } catch (const JsonDecodeError &error) {
        throw DesignDocumentError(QStringLiteral("设计稿文件无法解析（%1）：%2").arg(jsonPath, error.message));
    }
    const QString resolved = QFileInfo(jsonPath).absoluteDir().filePath(imagePath);
    try {
        design.image = ImageFileReader::readFile(resolved);
    } catch (const ImageReadError &error) {
        throw DesignDocumentError(QStringLiteral("设计稿图片无法读取（%1）：%2").arg(resolved, error.message));
    }
    // The file on disk decides the pixel size, whatever the document says.
    design.pixelSize = pixelSizeValue(design.image);
    return design;
}

bool DesignDocument::looksLikeDocument(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(4096).trimmed().startsWith('{');
}

} // namespace vantrel
