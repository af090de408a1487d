#pragma once

// Where the program writes its own files (records, default export and screenshot
// folders). A portable copy keeps them in its own folder, as it always did; an
// installed copy, whose folder belongs to the system, writes to the user's data
// folder instead.

#include <QString>

namespace DataPaths {

// The program's folder when files can be created there, else the per-user data
// folder (QStandardPaths::AppDataLocation), created when missing. If even that
// cannot be made, the program's folder, so the failure shows where it happens.
QString writableFolder();
// The same choice for a given program folder.
QString writableFolder(const QString &programFolder);

// True when a file can really be created in folder: a read-only mount, missing
// rights or a folder that is not there all say no, whoever the user is.
bool canCreateFilesIn(const QString &folder);

} // namespace DataPaths
