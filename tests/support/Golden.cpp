#include "support/Golden.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QtDebug>

namespace vantrel::test {

bool compareWithGolden(const QString &name, const QString &actual)
{
    const QString path = dataPath(QStringLiteral("golden/") + name);
    if (qEnvironmentVariable("VANTREL_UPDATE_GOLDEN") == QLatin1String("1")) {
        writeFile(path, actual.toUtf8());
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "no expected text at" << path << "(VANTREL_UPDATE_GOLDEN=1 writes it)";
        return false;
    }
    const QString expected = QString::fromUtf8(file.readAll());
    if (expected == actual)
        return true;
    const QStringList want = expected.split(u'\n');
    const QStringList got = actual.split(u'\n');
    for (qsizetype i = 0; i < qMax(want.size(), got.size()); ++i) {
        const QString w = want.value(i, QStringLiteral("<end>"));
        const QString g = got.value(i, QStringLiteral("<end>"));
        if (w != g) {
            qWarning().noquote() << name << "differs at line" << i + 1 << "\n  expected:" << w << "\n  actual:  " << g;
            break;
        }
    }
    return false;
}

} // namespace vantrel::test
