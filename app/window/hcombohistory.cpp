#include "hcombohistory.h"

#include "settingsstore.h"

#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QStringList>

namespace {

QString pathKey(int i)
{
    return QString::asprintf("Path%d", i);
}

} // namespace

HComboHistory::HComboHistory() : name(QLatin1String("")), suppress(false) {}

void HComboHistory::init(QWidget* parentWidget, QComboBox* comboBox, const QString& historyName)
{
    parent = parentWidget;
    combo = comboBox;
    name = historyName;
    loadHistory();
}

int HComboHistory::maxHistory() const
{
    return openSettingsGroup(QStringLiteral("Param"))
        ->value(QStringLiteral("MaxHistory"), 10)
        .toInt();
}

void HComboHistory::loadHistory()
{
    combo->clear();
    const int max = maxHistory();
    const auto recent = openSettingsGroup(QStringLiteral("Recent") + name);
    for (int i = 1; i <= max; ++i) {
        const QString path = recent->value(pathKey(i), QString()).toString();
        if (!path.isEmpty()) {
            suppress = true;
            combo->insertItem(0, path);
        }
    }
    qDebug() << name << " reg select =" << combo->count();
    if (combo->count() > 0) {
        suppress = true;
        combo->setCurrentIndex(0);
    }
}

void HComboHistory::saveHistory(const QString& path)
{
    if (suppress) {
        suppress = false;
        return;
    }
    const int max = maxHistory();
    qDebug() << name + QStringLiteral(":selectCombo:") << path;

    const auto recent = openSettingsGroup(QStringLiteral("Recent") + name);
    QStringList kept;
    for (int i = 1; i <= max; ++i) {
        const QString stored = recent->value(pathKey(i), QString()).toString();
        if (!stored.isEmpty() && stored != path) {
            kept.append(stored);
        }
    }
    kept.append(path);

    const int start = kept.size() <= max ? 0 : kept.size() - max;
    for (int i = start; i < kept.size(); ++i) {
        recent->setValue(pathKey(i - start + 1), kept.at(i));
    }
    recent->sync();
    loadHistory();
}

void HComboHistory::onCurrentIndexChanged(int index)
{
    if (combo->count() > 0) {
        saveHistory(combo->itemText(index));
    }
}

void HComboHistory::browse()
{
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Select ") + name + QStringLiteral(" Directory"),
        combo->currentText(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) {
        suppress = false;
        saveHistory(folder);
    }
}

QString HComboHistory::currentPath() const
{
    return combo->count() > 0 ? combo->currentText() : QString();
}
