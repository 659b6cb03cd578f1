#pragma once

// File-system helpers on POSIX, one header a concept. Paths are QStrings with '/'
// as the separator. Every failure is a Failure carrying the C library's
// description of errno ("No such file or directory", "Permission denied", ...),
// so a trap can show it unchanged.
#include "platform/BytePaths.h"  // names as bytes, shown and written as text
#include "platform/FileKinds.h"  // what a path names; whole-file reads
#include "platform/HeldFolder.h" // the folder of the file under way, held open
#include "platform/NewFiles.h"   // new files in a folder, never replacing one
#include "platform/SourceFile.h" // a source opened once and copied
