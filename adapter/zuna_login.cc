#include "zuna_login.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "md4.h"

kdR770 *curadio = nullptr;
int AuthWait = 0;
tdsRidZunaPassword PasswordRecord = {};

namespace {

uint8_t ConversionBuffer[64];
// Owns the object behind curadio so that a replaced one is released.
std::unique_ptr<kdR770> CurrentSearch;

enum : uint16_t { SEARCH_LOGIN_AUTH = AUTH_ZUNA | AUTH_WEP };

} // namespace

int hashpass(const char *password)
{
    size_t n = std::strlen(password);
    if (n > 32)
        return 1;
    for (size_t i = 0; i < n; ++i) {
        ConversionBuffer[2 * i] = uint8_t(password[i]);
        ConversionBuffer[2 * i + 1] = 0;
    }
    MD4_calc(PasswordRecord.hash, ConversionBuffer, 2 * n);
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

tdsRidZunaUsername MakeUserRecord(const char *user)
{
    tdsRidZunaUsername rec{};
    size_t n = strnlen(user, sizeof rec.name);
    std::memcpy(rec.name, user, n);
    rec.name_len = uint16_t(n);
    return rec;
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
    if (radio.GetConfiguration(cfg, aplist, ssid) != 0)
        return -1;
    tdsRidZunaUsername userrec = MakeUserRecord(user);
    if (hashpass(password) != 0)
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
    if (curadio->GetConfiguration(cfg, aplist, ssid) != 0)
        return -1;
    curadio->SetMac(false);
    cfg.auth_mode |= SEARCH_LOGIN_AUTH;
    curadio->SetConfiguration(cfg, aplist, ssid);
    curadio->WriteUser(userrec);
    curadio->WritePassword(PasswordRecord);
    curadio->SetMac(true);
    return -1;
}
