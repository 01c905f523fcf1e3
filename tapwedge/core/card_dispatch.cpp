// The dispatcher over the three card entries: the first entry that reads a card wins; a fault
// of the line or the session met on the way is not lost behind a later entry's result.
#include "core/card_read_engine.h"
#include "core/link_faults.h"

namespace tapwedge {

std::int32_t CardReadEngine::Seen(std::int32_t status) {
    const LinkFault fault = LinkFaultOf(status);
    if (fault == LinkFault::None) return status;
    ++LinkFaultsMet;
    if (ReadFault == 0 || (fault == LinkFault::Session && LinkFaultOf(ReadFault) != LinkFault::Session))
        ReadFault = status;
    return status;
}

std::int32_t CardReadEngine::ReadCard(CardIdRecord& id, CardDataRecord& data,
                                      std::int32_t readerType) {
    MatchedEntry = 0;
    if (PendingFault != 0) {
        // The session ended after the last card was read: nothing more goes out on it.
        const std::int32_t fault = PendingFault;
        PendingFault = 0;
        id.Length = 0;
        data.Length = 0;
        return fault | CARD_ERROR_FLAG;
    }
    ReadFault = 0;
    std::int32_t result = 0;
    for (int i = 0; i < 3; ++i) {
        const DecodedEntry& entry = Entries[i];
        switch (FamilyOf(entry.Kind)) {
        case CardFamily::Felica: result = ReadFelicaCard(id, data, readerType, entry); break;
        case CardFamily::Mifare: result = ReadMifareCard(id, data, entry); break;
        case CardFamily::Iso15693: result = ReadIso15693Card(id, data, entry); break;
        case CardFamily::None: continue;  // not in use: the previous result stands
        }
        if (result > 0) {
            MatchedEntry = i;
            if (LinkFaultOf(ReadFault) == LinkFault::Session) PendingFault = ReadFault;
            return result;
        }
    }
    if (ReadFault != 0) return ReadFault | CARD_ERROR_FLAG;
    // The last entry in use has the word, also over an earlier entry's error.
    return result;
}

}  // namespace tapwedge
