#include "packagefilter.h"

#include "caselesskey.h"
#include "indexedpackage.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTableWidget>

namespace {

// Short enough to feel immediate, long enough to take a word typed at speed at once.
constexpr int typingPauseMs = 120;

QStringList wordsOf(const QString& text)
{
    const QString simple = text.simplified();
    return simple.isEmpty() ? QStringList() : simple.split(QLatin1Char(' '));
}

} // namespace

PackageFilter::PackageFilter(QLineEdit* edit, QTableWidget* table, QObject* parent)
    : QObject(parent), edit(edit), table(table)
{
    pause.setSingleShot(true);
    pause.setInterval(typingPauseMs);
    connect(&pause, &QTimer::timeout, this, &PackageFilter::apply);
    connect(edit, &QLineEdit::textChanged, &pause, QOverload<>::of(&QTimer::start));
    connect(edit, &QLineEdit::textChanged, this, [this] { creator.clear(); });
    edit->installEventFilter(this);
    // A sort moves rows about; their hidden state has to follow their names.
    connect(table->model(), &QAbstractItemModel::layoutChanged, this, &PackageFilter::apply);
}

bool PackageFilter::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+X and Ctrl+V move and delete wherever the focus is in the window; the
    // field would take them for cut and paste.
    if (watched == edit && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier &&
            (key->key() == Qt::Key_X || key->key() == Qt::Key_V)) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool PackageFilter::matches(const QString& fileName, const QStringList& words)
{
    for (const QString& word : words) {
        if (!fileName.contains(word, Qt::CaseInsensitive)) {
            return false;
        }
    }
    return true;
}

void PackageFilter::apply()
{
    pause.stop();
    const QStringList words = wordsOf(edit->text());
    // Hiding a row of a table that repaints recomputes every row's position: with
    // updates off, thousands of rows change in one pass.
    const bool updates = table->updatesEnabled();
    table->setUpdatesEnabled(false);
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* name = table->item(row, 1);
        const bool hide = name != nullptr && !(matches(name->text(), words) && isByCreator(name->text()));
        if (table->isRowHidden(row) != hide) {
            table->setRowHidden(row, hide);
        }
    }
    table->setUpdatesEnabled(updates);
}

bool PackageFilter::isByCreator(const QString& fileName) const
{
    // The words alone would take "Ann." for "JoAnn." as well.
    return creator.isEmpty() ||
           compareCaseless(IndexedPackage::fromFile(fileName, 0, 0).creator, creator) == 0;
}

void PackageFilter::showCreator(const QString& creator)
{
    edit->setText(creator + QLatin1Char('.'));
    this->creator = creator;
    apply();
}

void PackageFilter::clear()
{
    edit->clear();
    apply();
}

int PackageFilter::hiddenAmong(const QList<int>& rows) const
{
    int hidden = 0;
    for (int row : rows) {
        hidden += table->isRowHidden(row) ? 1 : 0;
    }
    return hidden;
}
