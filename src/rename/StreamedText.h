#pragma once

#include "platform/FileSystem.h"
#include "rename/NamingRequest.h"
#include "rename/RenameOptions.h"
#include "rename/TextLines.h"

#include <QString>
#include <QStringList>
#include <optional>

class ErrorReporter;

// Reading a page for a namer without holding the page: the text is decoded in
// pieces through the shared decoder, and only as much of it is kept as the name
// can depend on. A page of any size costs a constant amount of memory, plus the
// words or values that actually make up the name.
namespace StreamedText {

// The text the consider-tags mode names a file by (the whole file, or what
// follows its first "<body>" unless `includeHead`), shortened to a text that
// gives the same name for `method` and `request`: its first words, the words
// around the first occurrence of the search string, or nothing when that is
// not found. Throws Failure when the file cannot be read.
QString ReadConsideredText(FileSystem::Source& source, bool includeHead, ContentMethod method,
                           const NamingRequest& request,
                           const FileSystem::BetweenChunks& between = {});

// Lines that hold, for every field of `fields`, what the field's value is taken
// from: the text from the field's first occurrence (ignoring case) to the end
// of its value, in file order; an empty field stands for the first non-empty
// line. Reading stops once every field has its line. A file that cannot be read
// is reported once under the line reader's label and gives no lines.
TextLines ReadFieldLines(FileSystem::Source& source, const QStringList& fields,
                         ErrorReporter& reporter, const FileSystem::BetweenChunks& between = {});

// The two readers ReadFieldLines chooses between, for tests that hold them
// against each other: the text decoded whole, exact for every field and page,
// and the raw bytes searched, decoding only the lines kept, which declines
// (nullopt) the pages where it could differ. Both give the lines' text and
// throw Failure when the file cannot be read.
namespace detail {
QString FieldLinesDecoded(const QString& path, const QStringList& fields);
std::optional<QString> FieldLinesFromBytes(const QString& path, const QStringList& fields);
} // namespace detail

} // namespace StreamedText
