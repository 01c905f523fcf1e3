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

/* Records of the key store commands. Codes are 16-bit values. */
typedef struct TwCardKeyEntry {
    uint16_t Code;
    uint8_t Key[8];
} TwCardKeyEntry;

typedef struct TwCardKeyList {
    int32_t Count; /* 0..8 */
    TwCardKeyEntry Entry[8];
} TwCardKeyList;

typedef struct TwServiceKeyRecord {
    int32_t Count1; /* 0..8 */
    uint16_t Codes1[8];
    int32_t Count2; /* 0..8 */
    uint16_t Codes2[8];
    uint8_t FirstKey[8];
    uint8_t SecondKey[8];
} TwServiceKeyRecord;

typedef struct TwCodeList {
    int32_t Count;
    uint16_t Code[8];
} TwCodeList;

typedef struct TwCardKeyIdList {
    int32_t KeyId[5];
    TwCodeList CodeList1[5];
    TwCodeList CodeList2[5];
} TwCardKeyIdList; /* slots 0..3 are written; slot 4 never */

/* FeliCa block list: Count consecutive 16-byte blocks from block First. */
typedef struct TwBlockList {
    int32_t First; /* low 16 bits used */
    int32_t Count; /* 0..8 */
    uint8_t Data[8 * 16];
} TwBlockList;

/* Blocks of the S read and write commands. */
typedef struct TwSReadBuffer {
    int32_t Count;
    uint8_t Data[8 * 16];
} TwSReadBuffer;

/* Mifare card: the UID size class to look for / found, card information and UID. */
typedef struct __attribute__((packed)) TwMifCard {
    int32_t UidSize; /* 0 = any, 1 = 4 bytes, 2 = 7 bytes, 3 = 10 bytes */
    uint8_t Info[3];
    uint8_t Uid[10];
} TwMifCard;

#ifdef __cplusplus
static_assert(sizeof(TwCardKeyList) == 84 && offsetof(TwCardKeyList, Entry) == 4 &&
                  sizeof(TwCardKeyEntry) == 10 && offsetof(TwCardKeyEntry, Key) == 2,
              "TwCardKeyList layout");
static_assert(sizeof(TwServiceKeyRecord) == 56 && offsetof(TwServiceKeyRecord, Codes1) == 4 &&
                  offsetof(TwServiceKeyRecord, Count2) == 20 &&
                  offsetof(TwServiceKeyRecord, Codes2) == 24 &&
                  offsetof(TwServiceKeyRecord, FirstKey) == 40 &&
                  offsetof(TwServiceKeyRecord, SecondKey) == 48,
              "TwServiceKeyRecord layout");
static_assert(sizeof(TwCodeList) == 20 && offsetof(TwCodeList, Code) == 4, "TwCodeList layout");
static_assert(sizeof(TwCardKeyIdList) == 220 && offsetof(TwCardKeyIdList, CodeList1) == 20 &&
                  offsetof(TwCardKeyIdList, CodeList2) == 120,
              "TwCardKeyIdList layout");
static_assert(sizeof(TwBlockList) == 136 && offsetof(TwBlockList, Data) == 8, "TwBlockList layout");
static_assert(offsetof(TwSReadBuffer, Data) == 4, "TwSReadBuffer layout");
static_assert(sizeof(TwMifCard) == 17 && offsetof(TwMifCard, Info) == 4 &&
                  offsetof(TwMifCard, Uid) == 7,
              "TwMifCard layout");
#endif

/* ---- Open, close and USB enumeration ---- */
TAGWIRE_EXPORT int32_t TwOpen(int32_t port, int32_t baud);
TAGWIRE_EXPORT int32_t TwUsbGetDevice(char* description, char* serialNumber, int32_t index);
/* One location per attached FTDI device; returns the count. A null list only counts. */
TAGWIRE_EXPORT int32_t TwUsbGetDeviceList(int32_t* locations);
TAGWIRE_EXPORT int32_t TwUsbOpen(const char* serialNumber, int32_t port, int32_t baud);
TAGWIRE_EXPORT int32_t TwUsbChkLine(int32_t line);
TAGWIRE_EXPORT int32_t TwClose(void);

/* ---- Reader authentication ---- */
TAGWIRE_EXPORT int32_t TwAuthentication(const TwAuthKeys* keys, int32_t mode);
TAGWIRE_EXPORT int32_t TwAuthentication1(const TwAuthKeys* keys);
TAGWIRE_EXPORT int32_t TwAuthentication2(const TwAuthKeys* keys, int32_t mode);
TAGWIRE_EXPORT int32_t TwPWAuthentication(const TwAuthKeys* keys);
TAGWIRE_EXPORT int32_t TwReset(void);
TAGWIRE_EXPORT int32_t TwSetAuthenticationStatus(void);

/* ---- Key registration and reader identity ---- */
TAGWIRE_EXPORT int32_t TwSetCardKey(int32_t* keyId, const uint8_t key[8],
                                    const TwCardKeyList* list1, const TwCardKeyList* list2);
TAGWIRE_EXPORT int32_t TwSetCardKeyTmp(int32_t* keyId, const uint8_t key[8],
                                       const TwCardKeyList* list1, const TwCardKeyList* list2);
TAGWIRE_EXPORT int32_t TwSetCardKey2Tmp(int32_t* keyId, const uint8_t key[8],
                                        const TwCardKeyList* list1, const TwCardKeyList* list2);
TAGWIRE_EXPORT int32_t TwSetServiceKey(int32_t* keyId, const TwServiceKeyRecord* record);
TAGWIRE_EXPORT int32_t TwSetServiceKeyTmp(int32_t* keyId, const TwServiceKeyRecord* record);
TAGWIRE_EXPORT int32_t TwGetCardKeyID(TwCardKeyIdList* list);
TAGWIRE_EXPORT int32_t TwClearCardKeyID(void);
TAGWIRE_EXPORT int32_t TwChangeKey(const uint8_t key1[8], const uint8_t key2[8],
                                   const uint8_t key3[8]);
TAGWIRE_EXPORT int32_t TwChangeID(const uint8_t first[8], const uint8_t second[8]);

/* ---- Reader control and pass-through ---- */
TAGWIRE_EXPORT int32_t TwFChipInit(void);
TAGWIRE_EXPORT int32_t TwTurnOff(void);
TAGWIRE_EXPORT int32_t TwChangeBaudRate(int32_t code);
TAGWIRE_EXPORT int32_t TwSetOutput(uint8_t port, int32_t value);
TAGWIRE_EXPORT int32_t TwGetSwitch(uint8_t* out);
TAGWIRE_EXPORT int32_t TwGetVersion(char* out); /* out holds at least 256 bytes */
TAGWIRE_EXPORT int32_t TwAttention(uint8_t out[8]);
TAGWIRE_EXPORT int32_t TwThruCommand(uint8_t* response, const uint8_t* command);
TAGWIRE_EXPORT int32_t TwThruCommand2(int32_t timeout, uint8_t* response, const uint8_t* command,
                                      int32_t flag);
TAGWIRE_EXPORT int32_t TwCancel(void);
TAGWIRE_EXPORT int32_t TwGetRecvData(uint8_t* rawOut /* 301 bytes */,
                                     uint8_t* sentOut /* 264 bytes */);
TAGWIRE_EXPORT int32_t TwGetParameter(int32_t a, int32_t b, int32_t c);
TAGWIRE_EXPORT int32_t TwSetParameter(int32_t a, int32_t b, int32_t c);
TAGWIRE_EXPORT int32_t TwDebugWrite(int32_t a);

/* ---- FeliCa ---- */
TAGWIRE_EXPORT int32_t TwFindCard(uint16_t systemCode, uint8_t idm[8], uint8_t pmm[8]);
TAGWIRE_EXPORT int32_t TwFindCardEx(int32_t options, uint16_t systemCode, uint8_t idm[8],
                                    uint8_t pmm[8]);
TAGWIRE_EXPORT int32_t TwWaitFindCard(uint16_t systemCode, uint8_t idm[8], uint8_t pmm[8]);
TAGWIRE_EXPORT int32_t TwGetSystemCode(uint16_t* systemCode, uint8_t idm[8], uint8_t pmm[8]);
TAGWIRE_EXPORT int32_t TwRequestSystemCode(const uint8_t idm[8], TwCodeList* out);
TAGWIRE_EXPORT int32_t TwSearchServiceCode(const uint8_t idm[8], uint16_t index, TwCodeList* out);
TAGWIRE_EXPORT int32_t TwRequestService(const uint8_t idm[8], const TwCodeList* nodes,
                                        TwCodeList* versions);
TAGWIRE_EXPORT int32_t TwRequestResponse(const uint8_t idm[8], int32_t* mode);
TAGWIRE_EXPORT int32_t TwCardAuthentication(const uint8_t idm[8], int32_t keyId);
TAGWIRE_EXPORT int32_t TwCardAuthentication2(const uint8_t idm[8], int32_t keyId);
TAGWIRE_EXPORT int32_t TwReadBlock(int32_t serviceIndex, TwBlockList* blocks);
TAGWIRE_EXPORT int32_t TwWriteBlock(int32_t serviceIndex, const TwBlockList* blocks);
TAGWIRE_EXPORT int32_t TwPlainReadBlock(const uint8_t idm[8], uint16_t serviceCode,
                                        TwBlockList* blocks);
TAGWIRE_EXPORT int32_t TwPlainWriteBlock(const uint8_t idm[8], uint16_t serviceCode,
                                         const TwBlockList* blocks);
TAGWIRE_EXPORT int32_t TwSReadBlock(const uint8_t idm[8], uint16_t serviceCode,
                                    int32_t blockCount, TwSReadBuffer* out);
TAGWIRE_EXPORT int32_t TwSWriteBlock(const uint8_t idm[8], uint16_t serviceCode,
                                     int32_t blockCount, const TwSReadBuffer* in);

/* ---- Mifare ---- */
TAGWIRE_EXPORT int32_t MifFindCard(TwMifCard* card, int32_t wait);
TAGWIRE_EXPORT int32_t MifCardAuthentication(uint8_t keyType, uint8_t keyNumber, uint8_t block);
TAGWIRE_EXPORT int32_t MifHalt(void);
TAGWIRE_EXPORT int32_t MifRead(uint8_t block, uint8_t data[16]);
TAGWIRE_EXPORT int32_t MifWrite(uint8_t block, const uint8_t data[16]);
TAGWIRE_EXPORT int32_t MifIncrement(uint8_t block, int32_t value);
TAGWIRE_EXPORT int32_t MifDecrement(uint8_t block, int32_t value);
TAGWIRE_EXPORT int32_t MifRestore(int32_t block);
TAGWIRE_EXPORT int32_t MifTransfer(int32_t block);
TAGWIRE_EXPORT int32_t MifSetCardKey(uint8_t keyNumber, const uint8_t keyA[6], const uint8_t keyB[6]);
TAGWIRE_EXPORT int32_t MifRead2(uint8_t block, int32_t* length, uint8_t* data);
TAGWIRE_EXPORT int32_t MifWrite2(uint8_t block, int32_t length, const uint8_t* data);

#ifdef __cplusplus
}
#endif

#endif /* TAGWIRE_TAGWIRE_H */
