#pragma once

#include "engine/ImportedDesign.h"

#include <QJsonObject>
#include <QString>

#include <stdexcept>

namespace vantrel {

// A design.json that cannot be read; what() is the user-facing message naming the file.
class DesignDocumentError : public std::runtime_error {
public:
    explicit DesignDocumentError(const QString &message)
        : std::runtime_error(message.toStdString()), message(message) {}
    QString message;
};

// An imported design kept on disk: design.json (everything but the image, which it names by a
// path relative to itself) beside design.png. Lets a design imported once be compared offline.
class DesignDocument {
public:
    static const QString kJsonFileName;  // design.json
    static const QString kImageFileName; // design.png

    // The JSON form, with `imagePath` as the "image" member.
    static QJsonObject toJson(const ImportedDesign &design, const QString &imagePath);
    // The design described by `object`, without its image. Throws JsonDecodeError.
    static ImportedDesign fromJson(const QJsonObject &object);

    // Writes DIR/design.png and DIR/design.json (creating DIR); returns the JSON file's path.
    // Throws FileWriteError, or DesignDocumentError when the image cannot be encoded.
    static QString write(const ImportedDesign &design, const QString &directory);
    // Reads a design.json and the image it names. Throws DesignDocumentError.
    static ImportedDesign read(const QString &jsonPath);

    // True when the file starts (after white space) with "{": a design document, not an image.
    static bool looksLikeDocument(const QString &path);
};

} // namespace vantrel
