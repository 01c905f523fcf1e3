#pragma once
// The connection state of the reader as the polling loop keeps it, what the tray shows for it,
// the reader's edition read from its version text, and which read errors force a reconnection.
#include <cstddef>
#include <cstdint>

namespace tapwedge {

// ReaderState: bit 0 the line is open, bit 1 authenticated; 0x10 added while polling is paused.
inline constexpr std::int32_t kReaderClosed = 0;
inline constexpr std::int32_t kReaderOpen = 1;
inline constexpr std::int32_t kReaderReady = 3;
inline constexpr std::int32_t kReaderPaused = 0x10;

// The connection part of a state word: the paused bit left out. The paused bit only holds
// reads back; it never changes a connection step.
inline constexpr std::int32_t ConnectionOf(std::int32_t state) { return state & ~kReaderPaused; }
// A state word with the connection `connection` and the paused bit of `state`.
inline constexpr std::int32_t WithConnection(std::int32_t state, std::int32_t connection) {
    return connection | (state & kReaderPaused);
}

// ReaderType: edition in the low nibble, then the card kinds the reader handles.
inline constexpr std::int32_t kReaderTypeUndetected = 0x0F;
inline constexpr std::int32_t kReaderHandlesMifare = 0x10;
inline constexpr std::int32_t kReaderHandlesFelica = 0x40;
inline constexpr std::int32_t kReaderHandlesIso15693 = 0x80;

inline constexpr int kEditionPlain = 0;       // without encryption
inline constexpr int kEditionEncrypted = 1;   // with encryption
inline constexpr int kEditionSsfc = 2;        // with encryption and SSFC
inline constexpr int kEditionUnsupported = 3;

inline constexpr int EditionOf(std::int32_t readerType) { return readerType & 0x0F; }

// The reader model searched for in the descriptions of USB devices.
inline constexpr const char* kReaderModel = "QT58-V";

enum class TrayIcon { NoReader, Ready, Stopped };

struct TrayStatus {
    TrayIcon Icon;
    const char* Tip;  // UTF-8
};

// Icon and tip for a state word: exactly 0, exactly 1, exactly 3, anything else (paused).
TrayStatus TrayStatusFor(std::int32_t readerState);

// ReaderType from a version text the reader returned: the edition from character 4, Mifare and
// FeliCa always, ISO15693 when the text begins with 'T'. `text` holds at most `size` bytes.
std::int32_t ReaderTypeFromVersion(const char* text, std::size_t size);

// Whether polling goes on after a read error (code without the card-error flag); false means
// the reader must be connected anew. A time-out or short reply asks the reader for attention
// and keeps going only when it answers.
bool IsRecoverableError(std::int32_t code);

}  // namespace tapwedge
