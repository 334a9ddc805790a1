// A program outside the repository: uses the installed headers and library.
#include <hfile.h>
#include <hvamjson.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main()
{
    QTemporaryDir dir;
    QFile meta(HFile::mkMutiDir(dir.path() + QStringLiteral("/a/b")) +
               QStringLiteral("/meta.json"));
    if (!meta.open(QIODevice::WriteOnly) ||
        meta.write(R"({"dependencies": {"A.b.1": {"licenseType": "PC"}}})") < 0) {
        std::fprintf(stderr, "dovetalk consumer: cannot write %s\n", qPrintable(meta.fileName()));
        return 1;
    }
    meta.close();

    HVamJson json;
    int steps = 0;
    QObject::connect(&json, &HVamJson::sig_prog, [&steps](int, int) { ++steps; });
    QStringList dependencies;
    // Without a destination the copy is refused after announcing its one step.
    if (!json.Load(meta.fileName()) || !json.getDependencies(dependencies) ||
        dependencies != QStringList({QStringLiteral("A.b.1"), QStringLiteral("PC")}) ||
        json.copyTo(QString(), false) || steps != 1) {
        std::fprintf(stderr, "dovetalk consumer: the library gave unexpected results\n");
        return 1;
    }
    std::printf("dovetalk consumer: ok\n");
    return 0;
}
