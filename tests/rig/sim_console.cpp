#include "sim_console.h"

#include <time.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <sstream>

#include "core/settings.h"
#include "reader_sim/thread_name.h"
#include "standard_cards.h"

namespace rig {

using tapwedge::sim::Block8;
using tapwedge::sim::Bytes;

namespace {

std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Strict: an even number of hex digits and nothing else.
bool ParseHex(const std::string& text, Bytes& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return true;
}

bool ParseBlock8(const std::string& text, Block8& out) {
    Bytes bytes;
    if (!ParseHex(text, bytes) || bytes.size() != out.size()) return false;
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return true;
}

bool ParseInt(const std::string& text, int base, int low, int high, int& out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

std::string Error(const std::string& message) { return "error " + message; }

Block8 ToBlock8(const std::uint8_t (&bytes)[8]) {
    Block8 block{};
    std::copy(std::begin(bytes), std::end(bytes), block.begin());
    return block;
}

std::string Hex(const Block8& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

}  // namespace

tapwedge::sim::ReaderKeys ProgramDefaultReaderKeys() {
    const TwAuthKeys keys = tapwedge::CommSettings::DefaultReaderKeys();
    return {ToBlock8(keys.Id), ToBlock8(keys.Kar), ToBlock8(keys.Kbr), ToBlock8(keys.Kcr)};
}

std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

const char* SimConsole::Help() {
    return "commands: add felica <name> <idm> [<service> <blocks>] | "
           "add mifare <name> <uid> [<block>:<data> ...] | "
           "add iso15693 <name> <uid> [<block-size> <blocks>] | add standard | "
           "present <name> | remove <name>|all | tap <name> [<ms>] | unplug | plug | "
           "latency <ms> | fault noreply|garbage|mac|counter <percent> | fault off | fault seed <n> | "
           "counts | version <text> | keys <id> <kar> <kbr> <kcr> | keys default | "
           "demo <seconds> [<name> ...] | demo off | status | list | help | quit";
}

SimConsole::SimConsole(tapwedge::sim::ReaderSim& sim, SimPort& port, std::function<void()> onQuit)
    : sim_(sim), port_(port), on_quit_(std::move(onQuit)), record_keeper_([this] { KeepRecordSmall(); }) {}

SimConsole::~SimConsole() {
    StopDemo();
    {
        std::lock_guard lock(keeper_mu_);
        keeper_stop_ = true;
    }
    keeper_cv_.notify_all();
    record_keeper_.join();
}

void SimConsole::KeepRecordSmall() {
    tapwedge::sim::NameThisThread("records");
    // The simulator records every frame for tests; a front end runs for hours.
    std::unique_lock lock(keeper_mu_);
    while (!keeper_cv_.wait_for(lock, std::chrono::seconds(1), [&] { return keeper_stop_; })) sim_.ClearRecord();
}

std::string SimConsole::Run(std::string_view line) {
    const Words words = SplitWords(line);
    if (words.empty() || words[0][0] == '#') return "";
    const std::string& command = words[0];
    const std::size_t n = words.size();
    if (command == "add") return Add(words);
    if (command == "present" && n == 2) return Present(words[1]);
    if (command == "remove" && n == 2) return Remove(words[1]);
    if (command == "tap" && (n == 2 || n == 3)) return Tap(words);
    if (command == "unplug" && n == 1) {
        if (!port_.Plugged()) return Error("already unplugged");
        port_.Unplug();
        return "ok unplugged";
    }
    if (command == "plug" && n == 1) {
        if (port_.Plugged()) return Error("already plugged");
        port_.Plug();
        return "ok " + port_.Describe();
    }
    if (command == "latency" && n == 2) {
        int ms = 0;
        if (!ParseInt(words[1], 10, 0, 60000, ms)) return Error("latency: milliseconds 0..60000");
        sim_.SetReplyLatency(std::chrono::milliseconds(ms));
        return "ok latency " + words[1];
    }
    if (command == "version" && n >= 2) {
        const std::size_t at = line.find(words[1], line.find(command) + command.size());
        std::string text(line.substr(at));
        while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
        sim_.SetVersionText(text);
        return "ok version " + text;
    }
    if (command == "fault") return Faults(words);
    if (command == "counts" && n == 1) return CountsText();
    if (command == "keys") return Keys(words);
    if (command == "demo") return Demo(words);
    if (command == "status" && n == 1) return Status();
    if (command == "list" && n == 1) return List();
    if (command == "help") return std::string("ok ") + Help();
    if (command == "quit" && n == 1) {
        if (!on_quit_) return Error("quit: the simulator lives as long as the program's process");
        StopDemo();
        on_quit_();
        return "ok bye";
    }
    return Error("unknown command or wrong arguments: " + std::string(line) + " (try: help)");
}

std::string SimConsole::Add(const Words& words) {
    if (words.size() == 2 && words[1] == "standard") {
        Define("felica", StandardFelicaCard());
        Define("mifare", StandardMifareCard());
        Define("iso15693", StandardIso15693Card());
        return "ok felica mifare iso15693";
    }
    if (words.size() < 4) return Error("add: add <kind> <name> <id> ...");
    const std::string& kind = words[1];
    const std::string& name = words[2];
    if (name == "all" || name == "standard") return Error("add: the name '" + name + "' is reserved");
    Bytes id;
    if (!ParseHex(words[3], id)) return Error("add: the identifier must be hexadecimal bytes");

    if (kind == "felica") {
        tapwedge::sim::FelicaCard card;
        if (id.size() != 8) return Error("add felica: the IDm has 8 bytes");
        std::copy(id.begin(), id.end(), card.idm.begin());
        if (words.size() == 6) {
            int code = 0;
            Bytes data;
            if (!ParseInt(words[4], 16, 0, 0xFFFF, code)) return Error("add felica: service code, 4 hex digits");
            if (!ParseHex(words[5], data) || data.empty() || data.size() % 16 != 0)
                return Error("add felica: blocks, a multiple of 16 bytes");
            tapwedge::sim::FelicaService service;
            service.code = static_cast<std::uint16_t>(code);
            for (std::size_t at = 0; at < data.size(); at += 16) {
                tapwedge::sim::Block16 block{};
                std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 16, block.begin());
                service.blocks.push_back(block);
            }
            card.services = {service};
        } else if (words.size() != 4) {
            return Error("add felica <name> <idm> [<service> <blocks>]");
        }
        return Define(name, card);
    }
    if (kind == "mifare") {
        if (id.size() != 4 && id.size() != 7 && id.size() != 10) return Error("add mifare: the UID has 4, 7 or 10 bytes");
        tapwedge::sim::MifareCard card = tapwedge::sim::MifareCard::Classic(id);
        for (std::size_t i = 4; i < words.size(); ++i) {
            const std::size_t colon = words[i].find(':');
            int block = 0;
            Bytes data;
            if (colon == std::string::npos || !ParseInt(words[i].substr(0, colon), 10, 0, 63, block) ||
                !ParseHex(words[i].substr(colon + 1), data) || data.size() != 16)
                return Error("add mifare: block data as <block 0..63>:<16 bytes>");
            if (tapwedge::sim::MifareCard::IsTrailer(static_cast<std::size_t>(block)))
                return Error("add mifare: block " + std::to_string(block) + " is a sector trailer");
            std::copy(data.begin(), data.end(), card.blocks[static_cast<std::size_t>(block)].begin());
        }
        return Define(name, card);
    }
    if (kind == "iso15693") {
        if (id.size() != 8) return Error("add iso15693: the UID has 8 bytes");
        tapwedge::sim::Iso15693Card card;
        std::copy(id.begin(), id.end(), card.uid.begin());
        if (words.size() == 6) {
            int size = 0;
            Bytes data;
            if (!ParseInt(words[4], 10, 4, 8, size) || (size != 4 && size != 8))
                return Error("add iso15693: block size 4 or 8");
            if (!ParseHex(words[5], data) || data.empty() || data.size() % static_cast<std::size_t>(size) != 0)
                return Error("add iso15693: blocks, a multiple of the block size");
            card.block_size = static_cast<std::size_t>(size);
            for (std::size_t at = 0; at < data.size(); at += card.block_size)
                card.blocks.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(at),
                                         data.begin() + static_cast<std::ptrdiff_t>(at + card.block_size));
        } else if (words.size() != 4) {
            return Error("add iso15693 <name> <uid> [<block-size> <blocks>]");
        }
        return Define(name, card);
    }
    return Error("add: the kind is felica, mifare, iso15693 or standard");
}

std::string SimConsole::Define(const std::string& name, CardDefinition definition) {
    std::lock_guard lock(mu_);
    auto found = cards_.find(name);
    if (found != cards_.end() && found->second.in_field) sim_.TakeAway(found->second.handle);
    cards_[name] = Card{std::move(definition), 0, false};
    return "ok " + name;
}

std::string SimConsole::Present(const std::string& name) {
    std::lock_guard lock(mu_);
    auto found = cards_.find(name);
    if (found == cards_.end()) return Error("no card named " + name);
    Card& card = found->second;
    if (card.in_field) return Error(name + " is already in the field");
    if (card.handle == 0) {
        card.handle = std::visit([&](const auto& c) { return sim_.AddCard(c); }, card.definition);
    } else {
        sim_.PutBack(card.handle);
    }
    card.in_field = true;
    return "ok present " + name + " at=" + std::to_string(MonotonicNs());
}

std::string SimConsole::Remove(const std::string& name) {
    std::lock_guard lock(mu_);
    if (name == "all") {
        for (auto& [_, card] : cards_) {
            if (card.in_field) sim_.TakeAway(card.handle);
            card.in_field = false;
        }
        return "ok removed all";
    }
    auto found = cards_.find(name);
    if (found == cards_.end()) return Error("no card named " + name);
    if (!found->second.in_field) return Error(name + " is not in the field");
    sim_.TakeAway(found->second.handle);
    found->second.in_field = false;
    return "ok removed " + name + " at=" + std::to_string(MonotonicNs());
}

std::string SimConsole::Tap(const Words& words) {
    int ms = 500;
    if (words.size() == 3 && !ParseInt(words[2], 10, 0, 60000, ms)) return Error("tap: milliseconds 0..60000");
    const std::string present = Present(words[1]);
    if (present.rfind("ok", 0) != 0) return present;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    Remove(words[1]);
    return "ok tapped " + words[1];
}

namespace {

struct FaultName {
    const char* word;
    tapwedge::sim::RandomFault kind;
};
constexpr FaultName kFaultNames[] = {
    {"noreply", tapwedge::sim::RandomFault::NoReply},
    {"garbage", tapwedge::sim::RandomFault::Garbage},
    {"mac", tapwedge::sim::RandomFault::BadMac},
    {"counter", tapwedge::sim::RandomFault::WrongCounter},
};

}  // namespace

std::string SimConsole::Faults(const Words& words) {
    if (words.size() == 2 && words[1] == "off") {
        for (const FaultName& f : kFaultNames) sim_.SetRandomFault(f.kind, 0);
        return "ok fault off";
    }
    if (words.size() == 3 && words[1] == "seed") {
        std::uint64_t seed = 0;
        const std::string& text = words[2];
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
        if (ec != std::errc() || end != text.data() + text.size()) return Error("fault seed: a number");
        sim_.SeedRandomFaults(seed);
        return "ok fault seed " + text;
    }
    if (words.size() == 3) {
        for (const FaultName& f : kFaultNames) {
            if (words[1] != f.word) continue;
            double percent = 0;
            const std::string& text = words[2];
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), percent);
            if (ec != std::errc() || end != text.data() + text.size() || !(percent >= 0 && percent <= 100))
                return Error("fault: percent 0..100");
            sim_.SetRandomFault(f.kind, percent / 100.0);
            return "ok fault " + words[1] + " " + text;
        }
    }
    return Error("fault noreply|garbage|mac|counter <percent 0..100> | fault off | fault seed <n>");
}

std::string SimConsole::CountsText() {
    const tapwedge::sim::SimCounts c = sim_.Counts();
    std::string text = "ok commands=" + std::to_string(c.commands) + " card=" + std::to_string(c.card_commands) +
                       " sealed=" + std::to_string(c.sealed_card_commands);
    for (const FaultName& f : kFaultNames)
        text += std::string(" ") + f.word + "=" + std::to_string(c.faults[static_cast<std::size_t>(f.kind)]);
    return text + " authentications=" + std::to_string(c.authentications);
}

std::string SimConsole::Keys(const Words& words) {
    tapwedge::sim::ReaderKeys keys;
    if (words.size() == 2 && words[1] == "default") {
        keys = ProgramDefaultReaderKeys();
    } else if (words.size() != 5 || !ParseBlock8(words[1], keys.id) || !ParseBlock8(words[2], keys.kar) ||
               !ParseBlock8(words[3], keys.kbr) || !ParseBlock8(words[4], keys.kcr)) {
        return Error("keys <id> <kar> <kbr> <kcr> (8 bytes each) | keys default");
    }
    sim_.SetReaderKeys(keys);
    return "ok keys " + Hex(keys.id);
}

std::string SimConsole::Demo(const Words& words) {
    if (words.size() == 2 && words[1] == "off") {
        StopDemo();
        return "ok demo off";
    }
    int seconds = 0;
    if (words.size() < 2 || !ParseInt(words[1], 10, 1, 3600, seconds))
        return Error("demo <seconds 1..3600> [<name> ...] | demo off");
    std::vector<std::string> names(words.begin() + 2, words.end());
    {
        std::lock_guard lock(mu_);
        if (names.empty()) {
            for (const char* standard : {"felica", "mifare"})
                if (cards_.count(standard)) names.emplace_back(standard);
        }
        if (names.empty()) return Error("demo: no cards (add standard, or name them)");
        for (const auto& name : names)
            if (!cards_.count(name)) return Error("demo: no card named " + name);
    }
    StopDemo();
    Remove("all");
    {
        std::lock_guard lock(demo_mu_);
        demo_stop_ = false;
    }
    demo_ = std::thread([this, names, seconds] { DemoLoop(names, seconds); });
    return "ok demo " + std::to_string(seconds);
}

void SimConsole::DemoLoop(std::vector<std::string> names, int seconds) {
    tapwedge::sim::NameThisThread("demo");
    // Each card stays in the field for `seconds`, then the field is empty for one second.
    std::unique_lock lock(demo_mu_);
    for (std::size_t i = 0; !demo_stop_; i = (i + 1) % names.size()) {
        lock.unlock();
        Present(names[i]);
        lock.lock();
        if (demo_cv_.wait_for(lock, std::chrono::seconds(seconds), [&] { return demo_stop_; })) break;
        lock.unlock();
        Remove(names[i]);
        lock.lock();
        if (demo_cv_.wait_for(lock, std::chrono::seconds(1), [&] { return demo_stop_; })) break;
    }
}

void SimConsole::StopDemo() {
    {
        std::lock_guard lock(demo_mu_);
        demo_stop_ = true;
    }
    demo_cv_.notify_all();
    if (demo_.joinable() && demo_.get_id() != std::this_thread::get_id()) demo_.join();
}

std::string SimConsole::Status() {
    const tapwedge::sim::SessionState session = sim_.Session();
    std::string field;
    {
        std::lock_guard lock(mu_);
        for (const auto& [name, card] : cards_)
            if (card.in_field) field += (field.empty() ? "" : ",") + name;
    }
    return "ok port=" + std::string(port_.Plugged() ? port_.Describe() : "unplugged") +
           " authenticated=" + (session.authenticated ? "1" : "0") +
           " encrypted=" + (session.encrypted ? "1" : "0") + " field=" + (field.empty() ? "-" : field);
}

std::string SimConsole::List() {
    std::lock_guard lock(mu_);
    std::string text = "ok";
    for (const auto& [name, card] : cards_) {
        static const char* kinds[] = {"felica", "mifare", "iso15693"};
        text += " " + name + "(" + kinds[card.definition.index()] + "," + (card.in_field ? "in" : "out") + ")";
    }
    return text;
}

}  // namespace rig
