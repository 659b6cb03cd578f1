#pragma once

#include <QString>

namespace Main {

// True when the path names an existing folder (a link to a folder counts). Any
// failure to read the path's attributes (empty, malformed or absent path) simply
// answers false; it is never reported.
bool IsFolder(const QString& path);

} // namespace Main
