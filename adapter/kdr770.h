// One wireless adapter, reached through its driver's private socket requests.
#pragma once

#include <cstdint>
#include <net/if.h>

#include "records.h"

// Private request codes of the driver.
enum : unsigned long {
    SIOC_KDR770 = 0x89F0,       // SIOCDEVPRIVATE: every record request
    SIOC_KDR770_IDENT = 0x89F1, // SIOCDEVPRIVATE + 1: identification
};

enum : uint32_t { KDR770_IDENT_ANSWER = 0xA55A };

// kdR770::cardkind of an adapter served by the second model family's driver.
enum : uint8_t { CARDKIND_TSV240 = 6 };

// Driver command numbers.
enum : uint16_t {
    CMD_GET_CAPS = 0,
    CMD_GET_CONFIG = 1,
    CMD_GET_SSID = 2,
    CMD_GET_APLIST = 3,
    CMD_GET_FIRST_WEP = 6,
    CMD_GET_NEXT_WEP = 7,
    CMD_GET_STATUS = 8,
    CMD_GET_CSTATS = 9,
    CMD_GET_STATS = 10,
    CMD_GET_MIC = 11,
    CMD_GET_MICSTATS = 12,
    CMD_SET_CAPS = 50,
    CMD_SET_CONFIG = 53,
    CMD_SET_SSID = 54,
    CMD_SET_APLIST = 55,
    CMD_MAC_ON = 56,
    CMD_MAC_OFF = 57,
    CMD_RESET_STATS = 58,
    CMD_WEP_TEMP = 59,
    CMD_WEP_PERSIST = 60,
    CMD_ZUNA_PASSWORD = 61,
    CMD_ZUNA_USER = 62,
    CMD_FLASH_RESET = 100,
    CMD_FLASH_GETCHAR = 101,
    CMD_FLASH_MONITOR = 102,
    CMD_FLASH_PUTCHAR = 103,
    CMD_FLASH_BLOCK = 104,
    CMD_FLASH_RESTART = 105,
};

// The block every request points at, in the driver's native layout.
struct DriverRequest {
    uint16_t command;
    uint16_t length;
    void *data;
};

class kdR770 {
public:
    explicit kdR770(const char *name = "");
    ~kdR770();
    kdR770(const kdR770 &) = delete;
    kdR770 &operator=(const kdR770 &) = delete;

    int InitCard(const char *name);
    int InitCard();
    bool isradio();
    int GetIfName(char *out);

    int GetCaps(_STCAPS &caps);
    int GetConfiguration(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid);
    int GetFirstWepKey(_RID_wep_key &key);
    int GetNextWepKey(_RID_wep_key &key);
    int GetStatus(_STSTATUS &status);
    int GetcStats(_STSTATISTICS32 &stats);
    int GetStats(_STSTATISTICS32 &stats);
    int GetMic(_STMIC &mic);
    int GetMicStats(_STMICSTATISTICS &mic);
    int SetCaps(_STCAPS &caps);
    int SetConfiguration(CFG_R770 &cfg, _STAPLIST &aplist, _STSSID &ssid);
    int SetMac(bool on);
    int ResetStats(_STSTATISTICS32 &stats);
    int WriteWepKey(_RID_wep_key &key, bool persistent);
    int WritePassword(tdsRidZunaPassword &pass);
    int WriteUser(tdsRidZunaUsername &user);
    int CmdReset();
    int FlashGetchar(int c);
    int FlashPutchar(int c);
    int Restart();

    int AuthUser(const char *user, const char *password);
    int FlashAdapter(const char *path, void (*progress)(int));

    int sock = -1;
    char devname[12] = {};
    struct ifreq ifr;
    DriverRequest req = {};
    uint8_t opened = 0;
    uint8_t persist = 0;
    uint8_t scratch[2048] = {};
    uint8_t cardkind = 0;
    char errmsg[81] = {};
    int lasterr = 0;

private:
    // One driver request with the given block; on failure records the error
    // number and the text with suffix. Returns the ioctl's result.
    int Request(uint16_t command, uint16_t length, void *data, const char *suffix,
                unsigned long code = SIOC_KDR770);
    void SetError(int err, const char *suffix);
    int SendCredentials(uint16_t command, void *record, le16 &lenword, const char *suffix);
};
