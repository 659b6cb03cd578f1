#pragma once

// How new names are formed beyond the clean-up, as the "More Options" dialog or
// the command line sets them; the defaults change nothing.
struct NameOptions
{
    // A name too long for the results folder's file system is cut to fit
    // instead of being passed over.
    bool shorten = false;
    // > 0: file names are kept within this many bytes, where the file system
    // allows more (with shorten).
    int maxLength = 0;
    // The metadata codes mean the page's title and <meta> elements as a
    // browser reads them, instead of words found in its lines.
    bool readHtml = false;
    // Names Windows accepts: no reserved device names, no trailing dots or blanks.
    bool windowsSafe = false;

    bool operator==(const NameOptions&) const = default;
};
