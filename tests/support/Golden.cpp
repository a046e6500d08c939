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
    const QStringList want = QString::fromUtf8(file.readAll()).split(u'\n'), got = actual.split(u'\n');
    for (qsizetype i = 0; i < qMax(want.size(), got.size()); ++i) {
        if (want.value(i, QStringLiteral("<end>")) != got.value(i, QStringLiteral("<end>"))) {
            qWarning().noquote() << name << "differs at line" << i + 1 << "\n  expected:" << want.value(i, QStringLiteral("<end>"))
                                 << "\n  actual:  " << got.value(i, QStringLiteral("<end>"));
            return false;
        }
    }
    return true;
}

} // namespace vantrel::test
