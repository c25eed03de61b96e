#pragma once

#include "books/bookcontrols.h"
#include "formlayout.h"

#include <QHash>
#include <QStringList>

class QToolButton;

namespace qb {

// The widgets of one book's page, built from its layout description.
struct BookPage {
    BookControls controls;
    QHash<QString, QToolButton*> linkButtons; // SpeedButton1 ..
    QHash<QString, QWidget*> fields;          // entry controls by component name
};

// Builds the book's page inside PageControl1; the status panels come from the window.
BookPage buildBookPage(const BookLayout& layout, QTabWidget* pageControl1);

// The entry controls' columns: what binding the book needs from its table.
QStringList boundColumns(const BookLayout& layout);

// Points every entry control and the grid of the page at the page's dataset.
void bindBookPage(const BookLayout& layout, const BookPage& page);

} // namespace qb
