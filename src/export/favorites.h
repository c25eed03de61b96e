#pragma once

#include <QString>

namespace qb {

class RecordStore;

// The user's Favorites folder ending in the folder separator; empty when the desktop has none.
QString GetFavoritesFolder();
// The path with the folder separator appended unless it already ends in one. The separator
// here is "/"; "\" is an ordinary character of a file name on this platform.
QString AddTrailingBackslash(const QString& path);
// The name without leading and trailing characters of code 32 or below, then without any of
// the nine characters Windows refuses in file names (" * / : < > ? \ |). The result holds no
// folder separator, so it always names a file inside the folder it is put in.
QString CleanFileName(const QString& name);
// Creates or replaces the file with the two lines "[InternetShortcut]" and "URL=<address>" in
// GB18030, CR LF after each. Throws DataError with the input/output error text on failure.
void WriteUrlShortcut(const QString& fileName, const QString& address);

// 将网址导入到IE收藏夹 (IE1Click): one shortcut file per website in the Favorites sub-folder
// "Inkwren网址收集", named by the cleaned name cut to fit the file system's limit, then opens
// the Favorites folder. Leaves the websites book on its last
// record, or on the record whose file failed.
void importWebsitesToFavorites(RecordStore& store);

} // namespace qb
