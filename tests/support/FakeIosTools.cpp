#include "support/FakeIosTools.h"

#include <QFile>

namespace vantrel::test {

FakeIosTools::FakeIosTools()
{
    m_environment.set("VANTREL_XCRUN", fakePath(QStringLiteral("xcrun")).toUtf8());
    m_environment.set("VANTREL_XCODEBUILD", fakePath(QStringLiteral("xcodebuild")).toUtf8());
    m_environment.set("VANTREL_SHELL", fakePath(QStringLiteral("login-shell")).toUtf8());
    m_environment.unset("VANTREL_APPIUM");
    m_environment.set("FAKE_IOS_DIR", m_dir.path().toUtf8());
}

QString FakeIosTools::fakePath(const QString &name)
{
    return QStringLiteral(VANTREL_FAKES_DIR "/ios/") + name;
}

void FakeIosTools::write(const QString &name, const QByteArray &content)
{
    writeFile(m_dir.filePath(name), content);
}

void FakeIosTools::setDeviceListing(const QString &listing, int status)
{
    write(QStringLiteral("xctrace.txt"), listing.toUtf8());
    write(QStringLiteral("xctrace.status"), QByteArray::number(status));
}

void FakeIosTools::setXcodebuild(const QString &standardOutput, const QString &standardError, int status)
{
    write(QStringLiteral("xcodebuild.out"), standardOutput.toUtf8());
    write(QStringLiteral("xcodebuild.err"), standardError.toUtf8());
    write(QStringLiteral("xcodebuild.status"), QByteArray::number(status));
}

void FakeIosTools::setAppiumPath(const QString &path)
{
    write(QStringLiteral("appium.path"), path.toUtf8() + '\n');
}

void FakeIosTools::setDriverListing(const QString &json)
{
    write(QStringLiteral("drivers.json"), json.toUtf8());
}

QStringList FakeIosTools::calls(const QString &tool) const
{
    QFile file(m_dir.filePath(tool + QStringLiteral(".calls")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace vantrel::test
