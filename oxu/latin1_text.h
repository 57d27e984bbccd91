// Texts in driver records and in the suite's files are Latin-1, one byte one
// character; GTK widgets hold UTF-8. Every widget that shows or edits such a
// text converts at its boundary with these helpers, so that a text shown and
// stored again unchanged keeps its bytes.
#pragma once

#include <cstddef>
#include <string>

namespace Gtk {
class Entry;
}

// The Latin-1 bytes of a field (up to its first NUL, at most n) as UTF-8.
std::string Latin1ToUtf8(const char *bytes, size_t n);

template <size_t N>
std::string Latin1ToUtf8(const char (&field)[N])
{
    return Latin1ToUtf8(field, N);
}

// A widget's UTF-8 text as Latin-1 bytes. False, with out empty, when the text
// is not valid UTF-8 or holds a character above U+00FF.
bool Utf8ToLatin1(const std::string &utf8, std::string &out);

// Stores a widget's text into a fixed field of size bytes, zero-padded to its
// end. Returns the number of bytes stored; -1, with the field untouched, when
// the text cannot be stored as Latin-1 or is longer than the field, so that
// nothing is ever cut silently.
int StoreLatin1(const std::string &utf8, char *field, size_t size);

template <size_t N>
int StoreLatin1(const std::string &utf8, char (&field)[N])
{
    return StoreLatin1(utf8, field, N);
}

// Makes an entry feed a field of max bytes: it takes at most max characters,
// and refuses at insertion (typed, pasted or set) any text that holds a
// character above U+00FF, so that characters and bytes agree.
void LimitToLatin1(Gtk::Entry &entry, int max);
