#include "zuna_login.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "md4.h"
#include "whole_answers.h"

kdR770 *curadio = nullptr;
int AuthWait = 0;
tdsRidZunaPassword PasswordRecord = {};

namespace {

// 32 characters of at most two 16-bit units each.
uint8_t ConversionBuffer[128];
// Owns the object behind curadio so that a replaced one is released.
std::unique_ptr<kdR770> CurrentSearch;

enum : uint16_t { SEARCH_LOGIN_AUTH = AUTH_ZUNA | AUTH_WEP };

// The text's characters read as UTF-8; false when it is not valid UTF-8
// (overlong forms, surrogates and values above U+10FFFF included).
bool Utf8Characters(const unsigned char *p, size_t n, std::u32string &out)
{
    for (size_t i = 0; i < n;) {
        const unsigned c = p[i];
        size_t len;
        char32_t cp, least;
        if (c < 0x80) {
            out += char32_t(c);
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out += cp;
        i += len;
    }
    return true;
}

// A login's text as characters: what a user typed arrives as UTF-8, a
// command line or an older caller may hand over Latin-1 bytes.
std::u32string Characters(const char *text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    const size_t n = std::strlen(text);
    std::u32string chars;
    if (Utf8Characters(p, n, chars))
        return chars;
    return std::u32string(p, p + n);
}

} // namespace

int hashpass(const char *password)
{
    const std::u32string chars = Characters(password);
    if (chars.size() > 32)
        return 1;
    size_t n = 0;
    auto unit = [&n](char32_t u) {
        ConversionBuffer[n++] = uint8_t(u);
        ConversionBuffer[n++] = uint8_t(u >> 8);
    };
    // A Latin-1 character becomes its byte and a zero byte; one beyond the
    // 16-bit range a surrogate pair.
    for (char32_t c : chars) {
        if (c < 0x10000) {
            unit(c);
        } else {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    MD4_calc(PasswordRecord.hash, ConversionBuffer, n);
    MD4_calc(PasswordRecord.hash + 16, PasswordRecord.hash, 16);
    PasswordRecord.hash_len = 32;
    return 0;
}

int findfirst()
{
    CurrentSearch = std::make_unique<kdR770>();
    curadio = CurrentSearch.get();
    for (int i = 0; i < 5; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "eth%d", i);
        curadio->InitCard(name);
        if (curadio->isradio())
            return i;
    }
    return -1;
}

bool MakeUserRecord(const char *user, tdsRidZunaUsername &record)
{
    const std::u32string chars = Characters(user);
    tdsRidZunaUsername rec{};
    const size_t n = std::min(chars.size(), sizeof rec.name);
    for (size_t i = 0; i < n; ++i) {
        if (chars[i] > 0xFF)
            return false;
        rec.name[i] = char(chars[i]);
    }
    rec.name_len = uint16_t(n);
    record = rec;
    return true;
}

namespace {

// The login sequence shared by both logins, up to switching the radio back on:
// -1 when it was refused before anything was written.
int SendZunaLogin(kdR770 &radio, const char *user, const char *password, uint16_t authbits)
{
    _STCAPS caps{};
    if (radio.GetCaps(caps) != 0 || !(caps.cap_flags & CAP_ZUNA))
        return -1;
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    // Writing back a configuration that was never read would replace the
    // adapter's settings with zeros.
    if (ReadWholeConfiguration(radio, cfg, aplist, ssid) != 0)
        return -1;
    // A name the record cannot hold is refused like a password too long.
    tdsRidZunaUsername userrec;
    if (!MakeUserRecord(user, userrec) || hashpass(password) != 0)
        return -1;
    radio.SetMac(false);
    cfg.auth_mode |= authbits;
    radio.SetConfiguration(cfg, aplist, ssid);
    radio.WriteUser(userrec);
    radio.WritePassword(PasswordRecord);
    radio.SetMac(true);
    return 0;
}

} // namespace

int kdR770::AuthUser(const char *user, const char *password)
{
    if (SendZunaLogin(*this, user, password, AUTH_ZUNA) != 0)
        return -1;
    _STSTATUS status{};
    if (GetStatus(status) != 0)
        return -1;
    return status.status_word & STATUS_AUTHENTICATED ? 0 : -1;
}

extern "C" int kdR770Authuser(const char *user, const char *password)
{
    if (AuthWait == 0)
        AuthWait = 10;
    if (findfirst() < 0)
        return -1;
    if (SendZunaLogin(*curadio, user, password, SEARCH_LOGIN_AUTH) != 0)
        return -1;
    for (int i = 0; i < AuthWait; ++i) {
        _STSTATUS status{};
        if (curadio->GetStatus(status) == 0 && (status.status_word & STATUS_AUTHENTICATED))
            return 0;
        sleep(1);
    }
    return -1;
}

extern "C" int kdR770Nulluser(void)
{
    std::memset(&PasswordRecord, 0, sizeof PasswordRecord);
    tdsRidZunaUsername userrec{};
    if (findfirst() < 0)
        return -1;
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    // Writing back what was not read whole would replace the adapter's settings.
    if (ReadWholeConfiguration(*curadio, cfg, aplist, ssid) != 0)
        return -1;
    curadio->SetMac(false);
    cfg.auth_mode |= SEARCH_LOGIN_AUTH;
    curadio->SetConfiguration(cfg, aplist, ssid);
    curadio->WriteUser(userrec);
    curadio->WritePassword(PasswordRecord);
    curadio->SetMac(true);
    return -1;
}
