#include "latin1_text.h"

#include <cstring>

#include <glib-object.h>
#include <gtkmm/entry.h>

std::string Latin1ToUtf8(const char *bytes, size_t n)
{
    std::string out;
    const size_t len = strnlen(bytes, n);
    out.reserve(len * 2);
    for (size_t i = 0; i < len; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool Utf8ToLatin1(const std::string &utf8, std::string &out)
{
    out.clear();
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        // Only the two-byte forms of U+0080..U+00FF are Latin-1.
        const bool twoByteLatin1 = (c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80;
        if (!twoByteLatin1) {
            out.clear();
            return false;
        }
        out += char(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
        ++i;
    }
    return true;
}

int StoreLatin1(const std::string &utf8, char *field, size_t size)
{
    std::string bytes;
    if (!Utf8ToLatin1(utf8, bytes) || bytes.size() > size)
        return -1;
    std::memset(field, 0, size);
    std::memcpy(field, bytes.data(), bytes.size());
    return int(bytes.size());
}

void LimitToLatin1(Gtk::Entry &entry, int max)
{
    entry.set_max_length(max);
    entry.signal_insert_text().connect(
        [&entry](const Glib::ustring &text, int *) {
            std::string bytes;
            if (Utf8ToLatin1(text.raw(), bytes))
                return;
            g_signal_stop_emission_by_name(entry.gobj(), "insert-text");
            entry.error_bell();
        },
        false);
}
