#include "mainwindow.h"
#include "reportcommand.h"

#include <QApplication>
#include <QIcon>

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
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size));
    }
    app.setWindowIcon(icon);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
