#pragma once
// Reader simulator: the reader/writer side of the serial protocol, for tests.
//
// How a test uses it
//   Attach: make a ReaderSim, then one attachment that carries its bytes:
//     tapwedge::sim::ReaderSim sim;
//     tapwedge::sim::PtyAttachment pty(sim);          // pty.SlavePath() is the host's tty
//     tapwedge::sim::D2xxAttachment usb(sim);         // or a fake D2XX device ("QT58-V")
//   The attachment must be destroyed before the simulator (declare it after the simulator).
//   Every host frame gets the ACK, then the reply of the built-in reader (or a scripted one).
//   Script a reply (reply code and data; the frame, and the seal in an encrypted session, are
//   added by the simulator):
//     sim.QueueReply(0x74, {0x75});                   // once, for the next 0x74
//     sim.SetReply(0xFE, {0xFF, 'T', 'Q'});           // every 0xFE until ClearReply(0xFE)
//   Inject a fault into the next command (or the next one with a given code):
//     sim.InjectFault({.ack = Fault::Ack::None});               // reply without ACK
//     sim.InjectFault({.command = 0x74, .reply_delay_ms = 600});  // late reply
//     sim.InjectFault({.split_at = {3, 7}, .merge_with_ack = true});
//     sim.InjectFault({.command = 0xC6, .reply_drop = 1});       // the real reply, one byte short
//   Read the record of what the host sent:
//     sim.WaitForFrames(1, 1s);  auto frames = sim.Frames();
//     frames[0].bytes == Bytes{0x00,0x00,0xFF,0x01,0xFF,0x74,0x8C,0x00};
//     frames[0].command  // [L][code][parameters], opened when it came sealed
//   Random faults on card commands, for long runs (a scripted fault goes first):
//     sim.SetRandomFault(RandomFault::NoReply, 0.01);  sim.SeedRandomFaults(7);
//     sim.Counts().faults[int(RandomFault::BadMac)]     // how many were injected
//   Unplug: usb.Unplug() / pty.Unplug().
//   The reader: SetReaderKeys (ID and keys the host must know), SetMutualAuthStatus(16),
//   SetPasswordDisabled(true), SetCommandStatus(0x68, 3), SetVersionText("TQ5862"),
//   Session() (authenticated, encrypted, session key, counter), KeyStore(), Control().
//   Cards: int h = sim.AddCard(FelicaCard{...}); sim.TakeAway(h); sim.PutBack(h);
//     sim.Felica(h)->services[0].blocks (written data); MifareCard::Classic(uid); Iso15693Card.
//     A poll or search with the wait byte set is answered when a card arrives.
// All members are thread-safe; output leaves on the simulator's own sender thread, so the host
// may write from any thread (also from inside the fake D2XX peer callback) without blocking.
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <condition_variable>
#include <optional>
#include <variant>
#include <vector>

#include "reader_sim/cards.h"
#include "reader_sim/frames.h"
#include "reader_sim/link.h"
#include "reader_sim/output_queue.h"
#include "reader_sim/reader_state.h"

namespace tapwedge::sim {

// A fault to apply to one command. Delays count from the command's arrival.
struct Fault {
    enum class Ack { Normal, None, Nack };
    std::optional<std::uint8_t> command{};  // only a command with this code; any command when empty
    Ack ack = Ack::Normal;                // None: reply without ACK; Nack: NACK and nothing else
    int ack_delay_ms = 0;                 // late ACK
    int reply_delay_ms = 0;               // late reply (never before the ACK)
    bool no_reply = false;                // ACK without reply
    Bytes garbage{};                      // bytes sent just before the reply's preamble
    bool bad_lcs = false;
    bool bad_dcs = false;
    bool bad_postamble = false;
    std::vector<std::size_t> split_at{};  // offsets in the reply (garbage included) to cut it at
    int split_gap_ms = 5;                 // pause between the pieces of a split reply
    bool merge_with_ack = false;          // ACK and the reply's first piece in one chunk
    // Encrypted session only:
    bool plain_error_reply = false;       // answer a sealed command with a plain [0x7F]
    bool bad_mac = false;                 // seal the reply with a wrong MAC
    bool wrong_counter = false;           // seal the reply with counter + 3 instead of + 1
    // Hold the reply until the host cancels (its ACK frame), then send it after this many ms.
    std::optional<int> reply_after_cancel_ms{};
    // The reply the reader built (or the scripted one), changed before it is sealed and framed:
    // this many bytes dropped from its end (all of them: no reply), then these bytes added.
    std::size_t reply_drop = 0;
    Bytes reply_append{};
};

// Faults drawn at random for each card command (FeliCa, Mifare and ISO15693 commands), each kind
// with its own probability; bad MAC and wrong counter only for sealed commands.
enum class RandomFault { NoReply, Garbage, BadMac, WrongCounter };
inline constexpr std::size_t kRandomFaultKinds = 4;

// What the reader has seen and done since it was made.
struct SimCounts {
    std::uint64_t commands = 0;              // command frames
    std::uint64_t card_commands = 0;         // of them card commands
    std::uint64_t sealed_card_commands = 0;  // of them sealed
    std::uint64_t faults[kRandomFaultKinds] = {};  // random faults injected, by RandomFault
    std::uint64_t authentications = 0;       // accepted password or mutual authentications
};

// The card family a command code addresses; None for the reader's own commands.
enum class CardCommandFamily { None, Felica, Mifare, Iso15693 };
CardCommandFamily CardCommandFamilyOf(std::uint8_t code);

// One frame the host sent, as recorded.
struct HostFrame {
    using Kind = ParsedHostFrame::Kind;
    Kind kind = Kind::Bad;
    Bytes bytes{};            // the frame on the wire
    Bytes data{};             // its LEN data bytes
    bool sealed = false;      // came sealed in an encrypted session
    Bytes command{};          // [L][code][parameters]; sealed: the opened parameters, padding kept
    std::uint16_t counter = 0;  // sealed: the host's sequence counter
    Clock::time_point at{};
};

// The reader's answer to one command, produced by a handler.
struct Response {
    enum class Kind { Reply, None, WaitForCard };
    Kind kind = Kind::Reply;
    Bytes data{};  // reply code and data
    static Response Of(Bytes data) { return {Kind::Reply, std::move(data)}; }
    static Response Nothing() { return {Kind::None, {}}; }
    static Response Wait() { return {Kind::WaitForCard, {}}; }
};

class ReaderSim {
public:
    ReaderSim();
    ~ReaderSim();
    ReaderSim(const ReaderSim&) = delete;
    ReaderSim& operator=(const ReaderSim&) = delete;

    // --- scripting ---
    void QueueReply(std::uint8_t command, Bytes reply);
    void SetReply(std::uint8_t command, Bytes reply);
    void ClearReply(std::uint8_t command);
    void InjectFault(Fault fault);
    void ClearFaults();
    // Delay of every reply (not of the ACK), as a slow reader; 0 by default.
    void SetReplyLatency(std::chrono::milliseconds latency);
    // Probability 0..1 of a random fault of that kind per card command; 0 by default.
    void SetRandomFault(RandomFault kind, double probability);
    void SeedRandomFaults(std::uint64_t seed);
    SimCounts Counts() const;

    // --- the reader ---
    void SetReaderKeys(const ReaderKeys& keys);
    ReaderKeys GetReaderKeys() const;
    // Status of the second mutual-authentication reply when the host answered right (0, 16, or
    // a refusal); a wrong answer is always refused with 1.
    void SetMutualAuthStatus(std::uint8_t status);
    // The reader random (the session key) of the next mutual authentications; random when empty.
    void SetReaderRandom(std::optional<Block8> random);
    // Password authentication: disabled answers status 2; otherwise 0 for the right key block, 1
    // for a wrong one, unless a status is forced.
    void SetPasswordDisabled(bool disabled);
    void SetPasswordStatus(std::optional<std::uint8_t> status);
    // Commands that need an authenticated reader answer 0x7F without one (default on).
    void SetRequireAuthentication(bool require);
    SessionState Session() const;
    void EndSession();  // as after a reset: not authenticated, plain

    // Status byte of the commands that report one (0x18, 0x1C, 0x68, 0x6A, 0x76, 0x78); 0 default.
    void SetCommandStatus(std::uint8_t command, std::uint8_t status);
    void SetChangeIdRefusal(std::optional<std::uint8_t> refusal);  // forced refusal byte of 0x78
    std::vector<KeyEntry> KeyStore() const;
    void AddKeyEntry(KeyEntry entry);   // key_id 0 takes the next free ID; returns via KeyStore()
    void SetNextKeyId(std::uint32_t id);
    void SetKeyStoreCapacity(std::size_t capacity);  // 4 by default

    void SetVersionText(std::string text);   // "TQ5862 V1.00" by default
    void SetSwitchByte(std::uint8_t value);
    void SetAttentionData(Block8 data);
    ControlRecord Control() const;

    // --- cards in the field ---
    int AddCard(FelicaCard card);   // put into the field; returns the card's handle
    int AddCard(MifareCard card);
    int AddCard(Iso15693Card card);
    void TakeAway(int handle);      // leaves the field (halt, quiet and authentication end)
    void PutBack(int handle);       // comes back; answers a waiting poll
    void RemoveAllCards();
    std::optional<FelicaCard> Felica(int handle) const;
    std::optional<MifareCard> Mifare(int handle) const;
    std::optional<Iso15693Card> Iso15693(int handle) const;
    bool InField(int handle) const;
    // The reader's Mifare key slots (also set by command 0xD2); FF x 6 for both keys by default.
    void SetMifareKeys(std::uint8_t number, std::array<std::uint8_t, 6> key_a, std::array<std::uint8_t, 6> key_b);

    // --- the record ---
    std::vector<HostFrame> Frames() const;
    std::vector<HostFrame> Commands() const;  // only the Command frames
    Bytes ReceivedBytes() const;              // every byte the host sent, garbage included
    void ClearRecord();
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until every queued output has gone out; true when it did within the time.
    bool WaitOutputIdle(std::chrono::milliseconds timeout);

    // --- attachments ---
    // Bytes written by the host; any thread, never blocks for long.
    void OnHostBytes(const std::uint8_t* data, std::size_t count);
    // The attachment that carries the output (nullptr detaches; waits for a delivery in progress).
    void SetLink(Link* link);
    // The line went away: pending output and held replies are dropped, the parser restarts.
    void OnUnplugged();

private:
    struct Held {
        std::vector<Bytes> chunks;
        int after_ms = 0;
        int gap_ms = 0;
    };

    // The seal a reply needs: that of its sealed command, or none.
    struct SealContext {
        bool sealed = false;
        Block8 key{};
        Block8 block{};  // the command's session block
    };
    struct WaitingCommand {
        Bytes command;
        SealContext seal;
    };

    struct FieldCard {
        int handle = 0;
        bool in_field = true;
        bool halted = false;  // Mifare
        bool quiet = false;   // ISO15693
        std::variant<FelicaCard, MifareCard, Iso15693Card> card;
    };
    struct FelicaSession {  // after card authentication
        int handle = 0;
        std::vector<std::uint16_t> services;
    };
    struct MifareSelection {
        int handle = 0;
        std::optional<std::size_t> sector;  // authenticated sector
        std::optional<std::int32_t> value;  // value operations' transfer buffer
    };
    using MifareKeys = std::pair<std::array<std::uint8_t, 6>, std::array<std::uint8_t, 6>>;

    // All private members run with mu_ held.
    void OnFrame(ParsedHostFrame&& frame);
    void OnCommand(HostFrame& record);
    void OnCancel();
    std::optional<Bytes> Answer(HostFrame& record, const Fault& fault);
    std::optional<Bytes> Seal(const SealContext& seal, Bytes reply, const Fault& fault);
    std::optional<Bytes> ScriptedReply(std::uint8_t code);
    Response Dispatch(const Bytes& command);  // [L][code][params]
    std::uint8_t StatusOf(std::uint8_t code) const;
    void DropSession();
    bool Refused() const { return require_auth_ && !session_.authenticated; }
    // Reader authentication (reader_auth.cpp).
    Response OnAuthenticate1(const Bytes& command);
    Response OnAuthenticate2(const Bytes& command);
    Response OnReset(const Bytes& command);
    // Key store (key_store.cpp).
    Response OnRegisterKeys(const Bytes& command);
    Response OnListKeyIds(const Bytes& command);
    Response OnClearKeyIds(const Bytes& command);
    Response OnChangeKeys(const Bytes& command);
    Response OnChangeId(const Bytes& command);
    // Control (control_commands.cpp).
    Response OnControl(const Bytes& command);
    void ResetField();
    int AddFieldCard(FieldCard card);
    FieldCard* Find(int handle);
    void AnswerWaiting();
    // FeliCa (felica_commands.cpp).
    Response OnFelica(const Bytes& command);
    FelicaCard* FelicaInField(const Bytes& command, std::size_t idm_at);
    Response OnPoll(const Bytes& command);
    Response OnFelicaBlocks(const Bytes& command);
    Response OnFelicaAuthBlocks(const Bytes& command);
    Response OnFelicaSBlocks(const Bytes& command);
    Response OnFelicaInquiry(const Bytes& command);
    Response OnFelicaCardAuth(const Bytes& command);
    // Mifare and SLE55R (mifare_commands.cpp).
    Response OnMifare(const Bytes& command);
    Response OnMifareSearch(const Bytes& command);
    Response OnSle55rPage(const Bytes& command);
    MifareCard* SelectedMifare();
    // ISO15693 pass-through (iso15693_commands.cpp).
    Response OnIso15693(const Bytes& command);
    Bytes Iso15693Request(const Bytes& frame);
    void Emit(const Fault& fault, const std::optional<Bytes>& reply, Clock::time_point now);
    std::optional<Fault> TakeFault(std::uint8_t code);
    std::optional<Fault> DrawRandomFault(bool sealed);  // random_faults.cpp

    mutable std::mutex mu_;
    mutable std::condition_variable frames_cv_;
    HostFrameParser parser_;
    std::vector<HostFrame> frames_;
    Bytes received_;
    std::map<std::uint8_t, std::deque<Bytes>> queued_replies_;
    std::map<std::uint8_t, Bytes> set_replies_;
    std::deque<Fault> faults_;
    std::chrono::milliseconds latency_{0};
    double random_faults_[kRandomFaultKinds] = {};
    std::mt19937_64 random_{std::random_device{}()};
    SimCounts counts_;
    std::optional<Held> held_;
    std::optional<WaitingCommand> waiting_;

    ReaderKeys keys_;
    SessionState session_;
    std::uint8_t mutual_status_ = 0;
    std::optional<Block8> reader_random_;
    std::optional<Block8> pending_random_;  // Rr of the first exchange, until the second
    bool password_disabled_ = false;
    std::optional<std::uint8_t> password_status_;
    bool require_auth_ = true;
    std::map<std::uint8_t, std::uint8_t> statuses_;
    std::optional<std::uint8_t> change_id_refusal_;
    std::vector<KeyEntry> key_store_;
    std::uint32_t next_key_id_ = 1;
    std::size_t key_capacity_ = 4;
    std::string version_text_ = "TQ5862 V1.00";
    std::uint8_t switch_byte_ = 0;
    Block8 attention_data_{0x51, 0x54, 0x35, 0x38, 0x00, 0x01, 0x00, 0x00};
    ControlRecord control_;

    std::vector<FieldCard> cards_;
    int next_handle_ = 1;
    std::optional<FelicaSession> felica_session_;
    std::optional<MifareSelection> mifare_;
    std::map<std::uint8_t, MifareKeys> mifare_keys_;

    OutputQueue out_;
};

}  // namespace tapwedge::sim
