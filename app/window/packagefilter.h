#ifndef PACKAGEFILTER_H
#define PACKAGEFILTER_H

#include <QObject>
#include <QStringList>
#include <QTimer>

class QLineEdit;
class QTableWidget;

/// Hides the rows of the package table whose file name does not contain every word
/// typed into a line edit, ignoring case. Hiding only changes what is shown: marks,
/// selection and the rows themselves stay as they are.
class PackageFilter : public QObject
{
    Q_OBJECT
public:
    PackageFilter(QLineEdit* edit, QTableWidget* table, QObject* parent = nullptr);

    /// Shows and hides every row by the words now typed; rows that keep their state
    /// are left alone.
    void apply();
    /// Empties the field and shows every row at once.
    void clear();
    /// Shows only the packages of `creator` (ignoring case): the field shows "Creator.",
    /// and the rule holds until the field is changed.
    void showCreator(const QString& creator);
    /// The rows among `rows` that the filter hides.
    int hiddenAmong(const QList<int>& rows) const;

    /// Whether `fileName` contains every one of `words`, ignoring case.
    static bool matches(const QString& fileName, const QStringList& words);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Whether the file is one of the creator shown, when one is.
    bool isByCreator(const QString& fileName) const;

    QLineEdit* edit;
    QTableWidget* table;
    // Set by showCreator(); emptied by any change of the field.
    QString creator;
    // Typing a word is several keystrokes: the table is filtered once they pause.
    QTimer pause;
};

#endif // PACKAGEFILTER_H
