#include "firmware_flash.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kdr770.h"

const uint8_t imagetype[8] = {0x90, 0x91, 0xB0, 0xB1, 0xC0, 0xC1, 0xD0, 0};

namespace {

enum : int { MON_PROMPT = '*', MON_LOAD = 'L', MON_CR = 0x0D, MON_ESC = 0x1B, MON_END = 0x80, MON_GO = 'g' };

// What the sequence holds at any return: released on every path.
struct FlashResources {
    int fd = -1;
    const uint8_t *map = nullptr;
    uint8_t *block = nullptr;

    ~FlashResources()
    {
        std::free(block);
        if (map)
            munmap(const_cast<uint8_t *>(map), FIRMWARE_FILE_SIZE);
        if (fd >= 0)
            close(fd);
    }
};

bool KnownType(uint8_t type)
{
    // The terminating zero is not a type.
    return type != 0 && std::memchr(imagetype, type, sizeof imagetype - 1) != nullptr;
}

} // namespace

uint16_t FirmwareSum(const uint8_t *image, size_t length)
{
    uint16_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = uint16_t(sum + image[i]);
    return sum;
}

int kdR770::FlashAdapter(const char *path, void (*progress)(int))
{
    auto report = [progress](int percent) {
        if (progress)
            progress(percent);
    };
    FlashResources res;
    struct stat st;
    // Non-blocking, so that a named pipe chosen by mistake cannot hang the open.
    res.fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (res.fd < 0 || fstat(res.fd, &st) != 0)
        return FLASH_NO_FILE;
    if (!S_ISREG(st.st_mode) || st.st_size != off_t(FIRMWARE_FILE_SIZE))
        return FLASH_BAD_FILE;
    void *map = mmap(nullptr, FIRMWARE_FILE_SIZE, PROT_READ, MAP_SHARED, res.fd, 0);
    if (map == MAP_FAILED)
        return FLASH_NO_FILE;
    res.map = static_cast<const uint8_t *>(map);

    const uint8_t type = res.map[FIRMWARE_TYPE_OFFSET];
    if (!KnownType(type) || (cardkind == CARDKIND_TSV240 && type != IMAGETYPE_TSV240))
        return FLASH_BAD_FILE;
    const uint16_t stored = uint16_t(res.map[FIRMWARE_SUM_OFFSET] | res.map[FIRMWARE_SUM_OFFSET + 1] << 8);
    const uint8_t *image = res.map + FIRMWARE_HEADER_SIZE;
    if (FirmwareSum(image, FIRMWARE_IMAGE_SIZE) != stored)
        return FLASH_BAD_CHECKSUM;

    res.block = static_cast<uint8_t *>(std::malloc(FIRMWARE_BLOCK_SIZE));
    if (!res.block)
        return FLASH_NO_MEMORY;

    if (CmdReset() != 0)
        return FLASH_RESET;
    report(5);
    if (Request(CMD_FLASH_MONITOR, 0, nullptr, nullptr) == -1)
        return FLASH_NO_MONITOR;
    if (FlashGetchar(MON_PROMPT) != 0) {
        perror("Err in kdR770::Fgetchar()");
        return FLASH_NO_PROMPT;
    }
    report(10);
    if (FlashPutchar(MON_LOAD) != 0 || FlashPutchar(MON_CR) != 0)
        return FLASH_SEND_LOAD;
    int percent = 20;
    report(percent);

    for (size_t off = 0; off < FIRMWARE_IMAGE_SIZE; off += FIRMWARE_BLOCK_SIZE) {
        if (FlashGetchar(MON_ESC) != 0) {
            perror("Err in kdR770::Fgetchar()");
            return FLASH_NO_BLOCK_PROMPT;
        }
        std::memcpy(res.block, image + off, FIRMWARE_BLOCK_SIZE);
        int rc = Request(CMD_FLASH_BLOCK, FIRMWARE_BLOCK_SIZE, res.block, nullptr);
        req.data = nullptr;
        if (rc == -1)
            return FLASH_SEND_BLOCK;
        percent += 15;
        report(percent);
    }

    if (FlashGetchar(MON_END) != 0) {
        perror("Err in kdR770::Fgetchar()");
        return FLASH_NO_END;
    }
    // The card needs this long to finish writing its flash.
    sleep(2);
    report(100);
    if (FlashGetchar(MON_PROMPT) != 0) {
        perror("Err in kdR770::Fgetchar()");
        return FLASH_NO_PROMPT;
    }
    if (FlashPutchar(MON_GO) != 0 || FlashPutchar(MON_CR) != 0)
        return FLASH_NO_PROMPT;
    if (Request(CMD_FLASH_RESTART, 0, nullptr, nullptr) == -1) {
        perror("kdr770::flashrestart:: ");
        return FLASH_RESTART;
    }
    return FLASH_OK;
}
