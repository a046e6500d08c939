#include "support/FakeIosTools.h"

#include <QFile>

namespace vantrel::test {

namespace {
const char *const kVariables[] = {"VANTREL_XCRUN", "VANTREL_XCODEBUILD", "VANTREL_SHELL", "VANTREL_APPIUM",
                                  "FAKE_IOS_DIR"};
}

FakeIosTools::FakeIosTools()
{
    for (const char *name : kVariables)
        m_saved.append({name, qgetenv(name)});
    qputenv("VANTREL_XCRUN", fakePath(QStringLiteral("xcrun")).toUtf8());
    qputenv("VANTREL_XCODEBUILD", fakePath(QStringLiteral("xcodebuild")).toUtf8());
    qputenv("VANTREL_SHELL", fakePath(QStringLiteral("login-shell")).toUtf8());
    qunsetenv("VANTREL_APPIUM");
    qputenv("FAKE_IOS_DIR", m_dir.path().toUtf8());
}

FakeIosTools::~FakeIosTools()
{
    for (const auto &[name, value] : m_saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

QString FakeIosTools::fakePath(const QString &name)
{
    return QStringLiteral(VANTREL_FAKES_DIR "/ios/") + name;
}

void FakeIosTools::write(const QString &name, const QByteArray &content)
{
    QFile file(m_dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(content);
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
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace vantrel::test
