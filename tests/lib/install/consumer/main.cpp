// A program outside the repository: uses the installed headers and library.
#include <hfile.h>
#include <hvamjson.h>

#include <QFile>
#include <QObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

bool write(const QString& path, const QByteArray& content)
{
    HFile::mkMutiDir(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

int fail(const char* what)
{
    std::fprintf(stderr, "dovetalk consumer: %s\n", what);
    return 1;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString game = dir.path() + QStringLiteral("/game");
    const QString scene = game + QStringLiteral("/Saves/scene/a.json");
    if (!write(game + QStringLiteral("/VaM.exe"), "") ||
        !write(game + QStringLiteral("/Custom/a.vap"), "preset") ||
        !write(scene, R"({"atoms": [{"id": "P", "type": "Person", "storables": [
                           {"id": "preset", "path": "Custom/a.vap"}]}],
                         "dependencies": {"A.b.1": {"licenseType": "PC"}}})")) {
        return fail("cannot write the game tree");
    }

    HVamJson json;
    if (!json.isEmpty() || !json.Load(scene)) {
        return fail("Load");
    }
    QStringList dependencies;
    json.getDependencies(dependencies);
    if (dependencies != QStringList({QStringLiteral("A.b.1"), QStringLiteral("PC")})) {
        return fail("getDependencies");
    }
    json.searchPathString();
    json.enumAtom();
    if (json.paths.size() != 1 || json.paths.front()->key != QLatin1String("path") ||
        json.atoms.size() != 1) {
        return fail("scene analysis");
    }

    int steps = 0;
    QObject::connect(&json, &HVamJson::sig_prog, [&steps](int, int) { ++steps; });
    const QString destination = dir.path() + QStringLiteral("/copy");
    if (!json.copyTo(destination, false) || steps != 3 ||
        !QFile::exists(destination + QStringLiteral("/Custom/a.vap"))) {
        return fail("copyTo");
    }
    std::printf("dovetalk consumer: ok\n");
    return 0;
}
