#pragma once
// What the simulated reader holds besides its cards: its keys and ID, the authentication and
// sealed-channel state, the key store, and the control settings it reports.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "reader_sim/sealed_channel.h"

namespace tapwedge::sim {

// The reader's ID and its three authentication keys (the host's 32-byte key block).
struct ReaderKeys {
    Block8 id{0x52, 0x45, 0x41, 0x44, 0x45, 0x52, 0x30, 0x31};
    Block8 kar{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    Block8 kbr{0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01};
    Block8 kcr{0x02, 0x13, 0x24, 0x35, 0x46, 0x57, 0x68, 0x79};
    bool operator==(const ReaderKeys&) const = default;
};

struct SessionState {
    bool authenticated = false;
    bool encrypted = false;
    Block8 session_key{};           // the reader random of the last mutual authentication
    std::uint16_t last_counter = 0;  // counter of the last sealed command
};

// One registration of the key store (command 0x18).
struct KeyEntry {
    std::uint32_t key_id = 0;
    std::uint8_t kind = 0x00;  // bit 0: service-key form; 0x10, 0x11, 0x12: temporary
    // Card-key form:
    Block8 key{};
    std::vector<std::pair<std::uint16_t, Block8>> list1{};
    std::vector<std::pair<std::uint16_t, Block8>> list2{};
    // Service-key form:
    std::vector<std::uint16_t> codes1{};
    std::vector<std::uint16_t> codes2{};
    Block8 first_key{};
    Block8 second_key{};

    bool ServiceForm() const { return (kind & 0x01) != 0; }
    bool Temporary() const { return (kind & 0x10) != 0; }
    // Codes of the first and second list, whichever form.
    std::vector<std::uint16_t> Codes1() const;
    std::vector<std::uint16_t> Codes2() const;
};

// What the control commands reported or were told.
struct ControlRecord {
    std::optional<std::uint8_t> baud_code{};
    std::map<std::uint8_t, std::uint8_t> outputs{};  // port -> value
    int chip_inits = 0;
    int rf_offs = 0;
};

}  // namespace tapwedge::sim
