// The desktop application.
#include "ui/MainWindow.h"
#include "ui/VantrelApp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("halvenro"));
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantrel"));
    QApplication::setDesktopFileName(QStringLiteral("com.halvenro.Vantrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));

    vantrel::VantrelApp app;
    app.mainWindow().show();
    return application.exec();
}
