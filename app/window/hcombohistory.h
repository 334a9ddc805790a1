#ifndef HCOMBOHISTORY_H
#define HCOMBOHISTORY_H

#include <QString>

class QComboBox;
class QWidget;

/// Binds a combo box to a stored list of recently used folders, newest first.
/// The list is written the moment it changes.
class HComboHistory
{
public:
    HComboHistory();

    void init(QWidget* parentWidget, QComboBox* comboBox, const QString& historyName);
    void loadHistory();
    void saveHistory(const QString& path);
    void onCurrentIndexChanged(int index);
    void browse();
    QString currentPath() const;

private:
    int maxHistory() const;

    QComboBox* combo = nullptr;
    QString name;
    QWidget* parent = nullptr;
    // Set just before the history changes its own combo box, so that the change
    // signal that follows is not taken for the user's choice.
    bool suppress;
};

#endif // HCOMBOHISTORY_H
