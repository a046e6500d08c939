#pragma once

#include "engine/Models.h"

#include <optional>

namespace vantrel {

// Keeps every finished comparison on disk, one directory per comparison below the root:
// entry.json, result.json and the five result images as PNG.
class ComparisonHistoryStore {
public:
    // The default root is the per-user data folder + "Vantrel/History".
    ComparisonHistoryStore();
    explicit ComparisonHistoryStore(QString rootPath);

    static QString defaultRootPath();
    QString rootPath() const { return m_root; }

    // Throws AppError (code 31 when an image cannot be encoded) or FileWriteError.
    ComparisonHistoryEntry save(const ComparisonResult &result, const QString &designName,
                                const QString &deviceName) const;
    std::optional<ComparisonResult> load(const ComparisonHistoryEntry &entry) const;
    QList<ComparisonHistoryEntry> entries() const;

    static void write(const QImage &image, const QString &path);
    static QString directoryName(const QDateTime &createdAt, const QUuid &id);

private:
    // The entry's directory, or none when its recorded name is not one plain path component.
    std::optional<QString> entryDirectory(const ComparisonHistoryEntry &entry) const;

    QString m_root;
};

} // namespace vantrel
