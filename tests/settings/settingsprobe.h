#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

// Reads and drives the settings window's controls the way a user sees them.
namespace settingsprobe {

template <typename Control> Control* control(const QWidget& window, const char* name) {
    return window.findChild<Control*>(QString::fromLatin1(name));
}

inline QTreeWidget* logonList(const QWidget& window) {
    return control<QTreeWidget>(window, "lv4");
}
inline QListWidget* extensionList(const QWidget& window) {
    return control<QListWidget>(window, "lb1");
}
inline QPushButton* button(const QWidget& window, const char* name) {
    return control<QPushButton>(window, name);
}

// Each row as "name | command line".
inline QStringList rows(const QTreeWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        texts << item->text(0) + QStringLiteral(" | ") + item->text(1);
    }
    return texts;
}

inline QStringList selectedNames(const QTreeWidget* list) {
    QStringList names;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (list->topLevelItem(row)->isSelected())
            names << list->topLevelItem(row)->text(0);
    }
    return names;
}

inline void selectNames(QTreeWidget* list, const QStringList& names) {
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        item->setSelected(names.contains(item->text(0)));
    }
}

inline QStringList texts(const QListWidget* list) {
    QStringList result;
    for (int row = 0; row < list->count(); ++row)
        result << list->item(row)->text();
    return result;
}

} // namespace settingsprobe
