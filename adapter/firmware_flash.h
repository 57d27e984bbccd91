// Firmware image files and the result codes of kdR770::FlashAdapter.
#pragma once

#include <cstddef>
#include <cstdint>

enum : size_t {
    FIRMWARE_FILE_SIZE = 131328,
    FIRMWARE_HEADER_SIZE = 0x100,
    FIRMWARE_IMAGE_SIZE = 131072,
    FIRMWARE_BLOCK_SIZE = 32768,
    FIRMWARE_TYPE_OFFSET = 0x81,
    FIRMWARE_SUM_OFFSET = 0x8A,
};

// Accepted image type bytes, zero-terminated.
extern const uint8_t imagetype[8];
enum : uint8_t { IMAGETYPE_TSV240 = 0xD0 };

enum FlashResult {
    FLASH_OK = 0,
    FLASH_NO_FILE = 1,
    FLASH_BAD_FILE = 2,
    FLASH_BAD_CHECKSUM = 3,
    FLASH_NO_MEMORY = 4,
    FLASH_NO_MONITOR = 5,
    FLASH_UNUSED = 6,
    FLASH_SEND_LOAD = 7,
    FLASH_NO_BLOCK_PROMPT = 8,
    FLASH_SEND_BLOCK = 9,
    FLASH_NO_END = 10,
    FLASH_RESTART = 11,
    FLASH_RESET = 12,
    FLASH_NO_PROMPT = 13,
};

// The 16-bit sum of the image bytes that the header's checksum word holds.
uint16_t FirmwareSum(const uint8_t *image, size_t length);
