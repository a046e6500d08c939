#include "engine/FileWriter.h"

#include <QDir>
#include <QSaveFile>

namespace vantrel {

void FileWriter::writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileWriteError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw FileWriteError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

void FileWriter::makeDirectory(const QString &path)
{
    if (!QDir().mkpath(path))
        throw FileWriteError(QStringLiteral("无法创建文件夹：") + path);
}

} // namespace vantrel
