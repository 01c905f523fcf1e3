/* Tagwire: the reader command library of the Tapwedge card reader/writer.
 * Every export returns a signed 32-bit status: TW_OK or one of the TW_ERR_ codes below,
 * laid out as 0xCCSShhll (class, subclass, detail). Buffers belong to the caller. */
#ifndef TAGWIRE_TAGWIRE_H
#define TAGWIRE_TAGWIRE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAGWIRE_EXPORT __attribute__((visibility("default")))

/* Status codes. */
#define TW_OK                     0
#define TW_ERR_FAILED             (-1)
/* 01 01: opening and the link */
#define TW_ERR_OPEN               0x1010000
#define TW_ERR_NOT_OPEN           0x1010002
#define TW_ERR_OPEN_STATE         0x1010003
#define TW_ERR_TIMEOUT            0x1010010
#define TW_ERR_SHORT_REPLY        0x1010011
#define TW_ERR_NACK               0x1010013
/* 01 02: reader authentication and the encrypted channel */
#define TW_ERR_READER_NOT_GENUINE 0x1020010
#define TW_ERR_AUTH_REFUSED       0x1020011
#define TW_ERR_NOT_AUTHENTICATED  0x1020013
#define TW_ERR_PLAIN_REPLY        0x1020014
#define TW_ERR_PASSWORD_DISABLED  0x1020015
#define TW_ERR_AUTH_STATUS        0x1020016
#define TW_ERR_MAC                0x1020020
#define TW_ERR_SEQUENCE           0x1020030
#define TW_ERR_CHANGE_ID          0x1020041
/* 01 03: parameters and reply contents */
#define TW_ERR_PARAM              0x1030000
#define TW_ERR_TOO_MANY           0x1030003
#define TW_ERR_BAD_REPLY          0x1030010
/* 02 01 .. 02 03: reported by the reader */
#define TW_ERR_READER_REJECTED    0x2010000
#define TW_ERR_READER_FAILED      0x2010001
#define TW_ERR_NO_CARD            0x2020000
#define TW_ERR_READER_STATUS      0x2030000 /* + the reader's status byte (1..255) */
/* 03 01: reported by the card */
#define TW_ERR_CARD_STATUS        0x3010000 /* + the card's status (big-endian 16 bits) */
/* 04 01: flow control */
#define TW_ERR_CANCELLED          0x4010000
#define TW_ERR_BUSY               0x4010001

/* Reader key block of the authentication: ID and three 8-byte keys, in this order. */
typedef struct TwAuthKeys {
    uint8_t Id[8];
    uint8_t Kar[8];
    uint8_t Kbr[8];
    uint8_t Kcr[8];
} TwAuthKeys;

#ifdef __cplusplus
static_assert(sizeof(TwAuthKeys) == 32, "TwAuthKeys is 32 bytes");
static_assert(offsetof(TwAuthKeys, Kar) == 8 && offsetof(TwAuthKeys, Kbr) == 16 &&
                  offsetof(TwAuthKeys, Kcr) == 24, "TwAuthKeys layout");
#endif

#ifdef __cplusplus
}
#endif

#endif /* TAGWIRE_TAGWIRE_H */
