#include "spacepage.h"

#include "spacemap.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

SpacePage::SpacePage(QWidget* parent) : QWidget(parent), total(new QLabel), map(new SpaceMap)
{
    auto* figures = new QGridLayout;
    const QString packages = QStringLiteral("packages");
    const QString files = QStringLiteral("files");
    const auto group = [&](const QString& name, const QString& title, const ReclaimableFiles LibrarySpace::*member,
                           const QString& one, const QString& many) {
        const int row = figures->rowCount();
        Group added{member, new QLabel, new QPushButton(QStringLiteral("Mark in list")), one, many};
        added.mark->setObjectName(QStringLiteral("pushButton_Mark") + name);
        connect(added.mark, &QPushButton::clicked, this,
                [this, member] { emit markRequested((shown.*member).paths); });
        figures->addWidget(new QLabel(title), row, 0);
        figures->addWidget(added.figures, row, 1);
        figures->addWidget(added.mark, row, 2);
        groups << added;
    };
    group(QStringLiteral("Old"), QStringLiteral("Old versions that nothing references:"),
          &LibrarySpace::oldUnreferenced, QStringLiteral("package"), packages);
    group(QStringLiteral("Duplicates"), QStringLiteral("Copies beyond the first of duplicate files:"),
          &LibrarySpace::duplicates, QStringLiteral("file"), files);
    group(QStringLiteral("Broken"), QStringLiteral("Broken files:"), &LibrarySpace::broken,
          QStringLiteral("file"), files);
    figures->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(total);
    layout->addLayout(figures);
    layout->addWidget(map, 1);
    layout->addWidget(new QLabel(QStringLiteral(
        "The space by creator, largest first. Point at a creator for its figures; click it to "
        "show only its packages in the list.")));
    connect(map, &SpaceMap::creatorClicked, this, &SpacePage::creatorClicked);
    setSpace(LibrarySpace());
}

void SpacePage::setSpace(const LibrarySpace& space)
{
    shown = space;
    total->setText(QStringLiteral("The library: ") +
                   spaceFigures(space.packages, space.bytes, QStringLiteral("package"),
                                QStringLiteral("packages")));
    for (const Group& group : qAsConst(groups)) {
        const ReclaimableFiles& files = space.*group.files;
        group.figures->setText(spaceFigures(files.paths.size(), files.bytes, group.one, group.many));
        group.mark->setEnabled(!files.paths.isEmpty());
    }
    map->setCreators(space.creators);
}
