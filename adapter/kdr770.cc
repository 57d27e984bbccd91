#include "kdr770.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

kdR770::kdR770(const char *name)
{
    std::memset(&ifr, 0, sizeof ifr);
    std::snprintf(devname, sizeof devname, "%s", name ? name : "");
}

kdR770::~kdR770()
{
    if (opened)
        close(sock);
}

void kdR770::SetError(int err, const char *suffix)
{
    lasterr = err;
    // snprintf cuts a longer composition to the 80 characters the field holds.
    std::snprintf(errmsg, sizeof errmsg, "%s%s", std::strerror(err), suffix);
}

int kdR770::Request(uint16_t command, uint16_t length, void *data, const char *suffix,
                    unsigned long code)
{
    req.command = command;
    req.length = length;
    req.data = data;
    ifr.ifr_data = reinterpret_cast<char *>(&req);
    // A driver that fails without an error number must not pick up a stale one.
    errno = 0;
    if (ioctl(sock, code, &ifr) != -1)
        return 0;
    int err = errno;
    if (err != 0 && suffix)
        SetError(err, suffix);
    return -1;
}

int kdR770::InitCard(const char *name)
{
    // The structure is larger than the name and the data pointer; clear all of it.
    std::memset(&ifr, 0, sizeof ifr);
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", name ? name : "");
    // A repeated set-up replaces the earlier socket instead of leaking it.
    if (opened) {
        close(sock);
        opened = 0;
        sock = -1;
    }
    errno = 0;
    // Close-on-exec: a program started later (the help browser) must not
    // inherit a way to the driver.
    sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        if (errno != 0)
            SetError(errno, "  kdr770:InitCard socket");
        sock = -1;
        return -1;
    }
    opened = 1;
    return 0;
}

int kdR770::InitCard()
{
    char name[6] = {};
    std::memcpy(name, devname, 5);
    return InitCard(name);
}

bool kdR770::isradio()
{
    uint32_t answer = 0;
    int rc = Request(uint16_t(SIOC_KDR770_IDENT), req.length, &answer, "  kdr770::isradio",
                     SIOC_KDR770_IDENT);
    req.data = nullptr;  // the answer word does not outlive this call
    return rc == 0 && answer == KDR770_IDENT_ANSWER;
}

int kdR770::GetIfName(char *out)
{
    // Five characters, zero-padded when shorter, with no terminator of their own.
    const size_t n = strnlen(ifr.ifr_name, 5);
    std::memcpy(out, ifr.ifr_name, n);
    std::memset(out + n, 0, 5 - n);
    return 0;
}

int kdR770::GetCaps(_STCAPS &caps)
{
    return Request(CMD_GET_CAPS, sizeof caps, &caps, "  kdr770::GetCaps get capabilities ");
}

int kdR770::GetConfiguration(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid)
{
    if (Request(CMD_GET_CONFIG, sizeof cfg, &cfg, "  kdr770::GetConfiguration  get cfg ") != 0)
        return -1;
    if (Request(CMD_GET_APLIST, sizeof aplist, &aplist, "  kdr770::GetConfiguration  get aplist") != 0)
        return -1;
    return Request(CMD_GET_SSID, sizeof ssid, &ssid, "  kdr770::GetConfiguration  get sysidlist");
}

int kdR770::GetFirstWepKey(_RID_wep_key &key)
{
    return Request(CMD_GET_FIRST_WEP, sizeof key, &key, "  kdr770::GetFirstWepKey ");
}

int kdR770::GetNextWepKey(_RID_wep_key &key)
{
    return Request(CMD_GET_NEXT_WEP, sizeof key, &key, "  kdr770::GetNextWepKey ");
}

int kdR770::GetStatus(_STSTATUS &status)
{
    return Request(CMD_GET_STATUS, sizeof status, &status, "  kdr770::GetStatus");
}

int kdR770::GetcStats(_STSTATISTICS32 &stats)
{
    return Request(CMD_GET_CSTATS, sizeof stats, &stats, "  kdr770::GetcStats get statistics");
}

int kdR770::GetStats(_STSTATISTICS32 &stats)
{
    return Request(CMD_GET_STATS, sizeof stats, &stats, "  kdr770::GetStats get statistics32");
}

int kdR770::GetMic(_STMIC &mic)
{
    return Request(CMD_GET_MIC, sizeof mic, &mic, "  kdr770::GetMic");
}

int kdR770::GetMicStats(_STMICSTATISTICS &mic)
{
    return Request(CMD_GET_MICSTATS, sizeof mic, &mic, "  kdr770::GetMicStats");
}

int kdR770::SetCaps(_STCAPS &caps)
{
    return Request(CMD_SET_CAPS, sizeof caps, &caps, "  kdr770::SetCaps");
}

int kdR770::SetConfiguration(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid)
{
    // The lists go first so that the configuration takes effect with them in place.
    if (Request(CMD_SET_SSID, sizeof ssid, &ssid, "  kdr770::SetConfiguration set STSSID") != 0)
        return -1;
    if (Request(CMD_SET_APLIST, sizeof aplist, &aplist, "  kdr770::SetConfiguration set STAPLIST") != 0)
        return -1;
    return Request(CMD_SET_CONFIG, sizeof cfg, &cfg, "  kdr770::SetConfiguration set CFG");
}

int kdR770::SetMac(bool on)
{
    // The driver ignores the length of the radio switch; it carries the previous one.
    return Request(on ? CMD_MAC_ON : CMD_MAC_OFF, req.length, scratch, "  kdr770::SetMac  radio on/off");
}

int kdR770::ResetStats(_STSTATISTICS32 &stats)
{
    return Request(CMD_RESET_STATS, sizeof stats, &stats, "  kdr770::ResetStats clear statistics");
}

int kdR770::WriteWepKey(_RID_wep_key &key, bool persistent)
{
    return Request(persistent ? CMD_WEP_PERSIST : CMD_WEP_TEMP, sizeof key, &key,
                   "  kdr770::WriteWepKwy key");
}

int kdR770::SendCredentials(uint16_t command, void *record, le16 &lenword, const char *suffix)
{
    if (persist == 1)
        lenword |= ZUNA_PERSIST_BIT;
    return Request(command, 36, record, suffix);
}

int kdR770::WritePassword(tdsRidZunaPassword &pass)
{
    return SendCredentials(CMD_ZUNA_PASSWORD, &pass, pass.hash_len, "  kdr770::WritePassword");
}

int kdR770::WriteUser(tdsRidZunaUsername &user)
{
    return SendCredentials(CMD_ZUNA_USER, &user, user.name_len, "  kdr770::WriteUser key");
}

int kdR770::CmdReset()
{
    return Request(CMD_FLASH_RESET, 0, nullptr, "  kdr770::CmdReset");
}

int kdR770::FlashGetchar(int c)
{
    uint32_t word = uint32_t(c);
    int rc = Request(CMD_FLASH_GETCHAR, sizeof word, &word, nullptr);
    req.data = nullptr;
    return rc;
}

int kdR770::FlashPutchar(int c)
{
    uint32_t word = uint32_t(c) & 0xFF;
    int rc = Request(CMD_FLASH_PUTCHAR, sizeof word, &word, nullptr);
    req.data = nullptr;
    return rc;
}

int kdR770::Restart()
{
    return Request(CMD_FLASH_RESTART, 0, nullptr, "  kdr770::RESTART");
}
