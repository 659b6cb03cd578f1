#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class ErrorReporter;
class EventPump;

// The files a folder argument stands for: every file below it as a dropped folder
// gives them, or, with an extension, as the folder command lists them.
QStringList scanFolderArgument(const QString& folder, const std::optional<QString>& extension,
                               ErrorReporter& reporter, EventPump& events);
