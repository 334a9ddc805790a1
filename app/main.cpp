#include "mainwindow.h"
#include "reportcommand.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Names the cache folder, where the library index is kept.
    QCoreApplication::setOrganizationName(QStringLiteral("Morrowquay"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    if (ReportCommand::isRequested(argc, argv)) {
        // No QApplication: a report needs no display.
        QCoreApplication app(argc, argv);
        return ReportCommand::run(app.arguments());
    }
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
