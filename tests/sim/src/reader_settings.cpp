// The scripting interface of the reader's own state (keys, session, key store, control).
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

std::vector<std::uint16_t> KeyEntry::Codes1() const {
    if (ServiceForm()) return codes1;
    std::vector<std::uint16_t> codes;
    for (const auto& [code, key] : list1) codes.push_back(code);
    return codes;
}

std::vector<std::uint16_t> KeyEntry::Codes2() const {
    if (ServiceForm()) return codes2;
    std::vector<std::uint16_t> codes;
    for (const auto& [code, key] : list2) codes.push_back(code);
    return codes;
}

void ReaderSim::SetReaderKeys(const ReaderKeys& keys) {
    std::lock_guard lock(mu_);
    keys_ = keys;
}

ReaderKeys ReaderSim::GetReaderKeys() const {
    std::lock_guard lock(mu_);
    return keys_;
}

void ReaderSim::SetMutualAuthStatus(std::uint8_t status) {
    std::lock_guard lock(mu_);
    mutual_status_ = status;
}

void ReaderSim::SetReaderRandom(std::optional<Block8> random) {
    std::lock_guard lock(mu_);
    reader_random_ = random;
}

void ReaderSim::SetPasswordDisabled(bool disabled) {
    std::lock_guard lock(mu_);
    password_disabled_ = disabled;
}

void ReaderSim::SetPasswordStatus(std::optional<std::uint8_t> status) {
    std::lock_guard lock(mu_);
    password_status_ = status;
}

void ReaderSim::SetRequireAuthentication(bool require) {
    std::lock_guard lock(mu_);
    require_auth_ = require;
}

SessionState ReaderSim::Session() const {
    std::lock_guard lock(mu_);
    return session_;
}

void ReaderSim::EndSession() {
    std::lock_guard lock(mu_);
    DropSession();
}

void ReaderSim::DropSession() {
    session_.authenticated = false;
    session_.encrypted = false;
}

void ReaderSim::SetCommandStatus(std::uint8_t command, std::uint8_t status) {
    std::lock_guard lock(mu_);
    statuses_[command] = status;
}

void ReaderSim::SetChangeIdRefusal(std::optional<std::uint8_t> refusal) {
    std::lock_guard lock(mu_);
    change_id_refusal_ = refusal;
}

std::vector<KeyEntry> ReaderSim::KeyStore() const {
    std::lock_guard lock(mu_);
    return key_store_;
}

void ReaderSim::AddKeyEntry(KeyEntry entry) {
    std::lock_guard lock(mu_);
    if (entry.key_id == 0) entry.key_id = next_key_id_++;
    key_store_.push_back(std::move(entry));
}

void ReaderSim::SetNextKeyId(std::uint32_t id) {
    std::lock_guard lock(mu_);
    next_key_id_ = id;
}

void ReaderSim::SetKeyStoreCapacity(std::size_t capacity) {
    std::lock_guard lock(mu_);
    key_capacity_ = capacity;
}

void ReaderSim::SetVersionText(std::string text) {
    std::lock_guard lock(mu_);
    version_text_ = std::move(text);
}

void ReaderSim::SetSwitchByte(std::uint8_t value) {
    std::lock_guard lock(mu_);
    switch_byte_ = value;
}

void ReaderSim::SetAttentionData(Block8 data) {
    std::lock_guard lock(mu_);
    attention_data_ = data;
}

ControlRecord ReaderSim::Control() const {
    std::lock_guard lock(mu_);
    return control_;
}

}  // namespace tapwedge::sim
