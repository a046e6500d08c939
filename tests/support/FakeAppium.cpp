#include "support/FakeAppium.h"
#include "support/AwaitTask.h"

namespace vantrel::test {

FakeAppium::FakeAppium(const QJsonObject &scenario)
    : m_http(scenario)
{
    m_environment.set("VANTREL_APPIUM", programPath().toUtf8());
    m_environment.set("FAKE_APPIUM_UPSTREAM", QByteArray::number(m_http.port()));
    m_environment.set("FAKE_APPIUM_RECORD", m_dir.filePath(QStringLiteral("starts.jsonl")).toUtf8());
    for (const char *name : {"FAKE_APPIUM_DRIVERS", "FAKE_APPIUM_FAIL"})
        m_environment.unset(name);
}

FakeAppium::~FakeAppium()
{
    m_leftover.kill();
    m_leftover.waitForFinished(5000);
}

QString FakeAppium::programPath()
{
    return QStringLiteral(VANTREL_FAKES_DIR "/appium/appium.py");
}

QList<QJsonObject> FakeAppium::serverStarts() const
{
    return readJsonLines(m_dir.filePath(QStringLiteral("starts.jsonl")));
}

bool FakeAppium::startLeftoverServer(int port)
{
    m_leftover.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_leftover.start(programPath(), {QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                     QString::number(port)});
    return waitFor([port] { return portAnswers(port); }, std::chrono::seconds(5));
}

} // namespace vantrel::test
