#pragma once

#include <QString>

// The three help texts. The general help breaks its lines with a CR alone, the
// other two with CR LF, as they have always been shown.
namespace HelpTexts {

QString general();
// Entries for the first two content methods, each led by its text in the list.
QString content(const QString& firstMethod, const QString& secondMethod);
QString metadata();

} // namespace HelpTexts
