// design.json documents: what is written, what reads back, and the errors of bad documents.
#include "DesignTestSupport.h"

#include "design/DesignDocument.h"
#include "engine/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel;
using namespace vantrel::test;

namespace {

ImportedDesign figmaDesign()
{
    ImportedDesign design;
    QImage image(40, 80, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30));
    image.setPixelColor(3, 4, QColor(255, 0, 0));
    design.image = image;
    design.name = QStringLiteral("登录页");
    design.source = QStringLiteral("https://www.figma.com/design/KEY?node-id=1-2");
    design.kind = DesignSourceKind::figma;
    design.pixelSize = SizeValue{40, 80};
    design.canvasSize = SizeValue{20, 40};
    DesignNode node;
    node.id = QStringLiteral("1:3");
    node.name = QStringLiteral("标题");
    node.type = QStringLiteral("TEXT");
    node.text = QStringLiteral("欢迎");
    node.rect = RectValue(2, 4, 10.5, 3);
    node.fillHex = QStringLiteral("#FF7F007F");
    node.fontSize = 17;
    design.nodes = {node};
    design.availableFrames = {DesignFrameOption{"1:2", "登录", SizeValue{20, 40}}};
    design.selectedFrameID = QStringLiteral("1:2");
    design.isVisualOnly = false;
    return design;
}

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

QString readError(const QString &path)
{
    try {
        DesignDocument::read(path);
    } catch (const DesignDocumentError &error) {
        return error.message;
    }
    return QStringLiteral("(read succeeded)");
}

} // namespace

class DesignDocumentTest : public QObject {
    Q_OBJECT
private slots:
    void readsBackWhatWasWritten();
    void omitsAMissingFrameID();
    void rejectsBadDocuments();
};

void DesignDocumentTest::readsBackWhatWasWritten()
{
    QTemporaryDir dir;
    const ImportedDesign original = figmaDesign();
    const QString jsonPath = DesignDocument::write(original, dir.filePath(QStringLiteral("out/nested")));
    QCOMPARE(jsonPath, dir.filePath(QStringLiteral("out/nested/design.json")));
    // Read from elsewhere: the image path is relative to the document, not to the current folder.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    const ImportedDesign copy = DesignDocument::read(jsonPath);
    QDir::setCurrent(previous);
    QCOMPARE(copy.name, original.name);
    QCOMPARE(copy.source, original.source);
    QCOMPARE(copy.canvasSize, original.canvasSize);
    QCOMPARE(copy.nodes, original.nodes);
    QCOMPARE(copy.availableFrames, original.availableFrames);
    QCOMPARE(copy.selectedFrameID, original.selectedFrameID);
    QCOMPARE(copy.isVisualOnly, original.isVisualOnly);
    QCOMPARE(copy.image.convertToFormat(QImage::Format_ARGB32), original.image);
    QVERIFY(DesignDocument::looksLikeDocument(jsonPath));
    QVERIFY(!DesignDocument::looksLikeDocument(dir.filePath(QStringLiteral("out/nested/design.png"))));
}

void DesignDocumentTest::omitsAMissingFrameID()
{
    QTemporaryDir dir;
    ImportedDesign design = figmaDesign();
    design.selectedFrameID.reset();
    design.kind = DesignSourceKind::webpage;
    design.nodes.clear();
    design.availableFrames.clear();
    design.isVisualOnly = true;
    const QString jsonPath = DesignDocument::write(design, dir.path());
    QVERIFY(!readJson(jsonPath).contains("selectedFrameID"));
    const ImportedDesign copy = DesignDocument::read(jsonPath);
    QCOMPARE(copy.selectedFrameID, std::nullopt);
    QCOMPARE(copy.kind, DesignSourceKind::webpage);
    QVERIFY(copy.isVisualOnly);
}

void DesignDocumentTest::rejectsBadDocuments()
{
    QTemporaryDir dir;
    const QString jsonPath = DesignDocument::write(figmaDesign(), dir.path());
    const QJsonObject good = readJson(jsonPath);
    auto writeVariant = [&](const QString &name, const QJsonObject &object) {
        const QString path = dir.filePath(name);
        FileWriter::writeAtomically(path, QJsonDocument(object).toJson());
        return path;
    };
    QJsonObject unknownKind = good;
    unknownKind.insert("kind", "sketch");
    QVERIFY(readError(writeVariant("kind.json", unknownKind)).contains(QStringLiteral("kind")));
    QJsonObject noNodes = good;
    noNodes.remove("nodes");
    QVERIFY(readError(writeVariant("nodes.json", noNodes)).contains(QStringLiteral("nodes")));
    QJsonObject missingImage = good;
    missingImage.insert("image", "elsewhere.png");
    QVERIFY(readError(writeVariant("image.json", missingImage)).contains(QStringLiteral("elsewhere.png")));
    FileWriter::writeAtomically(dir.filePath("broken.json"), "{\"name\": ");
    QVERIFY(readError(dir.filePath("broken.json")).contains(QStringLiteral("broken.json")));
    QVERIFY(readError(dir.filePath("absent.json")).contains(QStringLiteral("absent.json")));
}

QTEST_GUILESS_MAIN(DesignDocumentTest)
#include "tst_DesignDocument.moc"
