#pragma once

#include <QIcon>
#include <QPixmap>

namespace qb {

// The panel's image list: four 16 by 16 pictures, in the roles the trees and menus use.
enum class NavImage { Contact = 0, ContactSelected = 1, Entry = 2, EntrySelected = 3 };

QPixmap navImage(NavImage image);
// Icons that switch to their selected picture while their node is selected.
QIcon contactIcon();
QIcon entryIcon();

} // namespace qb
