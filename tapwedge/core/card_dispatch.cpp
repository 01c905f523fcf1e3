// The dispatcher over the three card entries: the first entry that reads a card wins.
#include "core/card_read_engine.h"

namespace tapwedge {

std::int32_t CardReadEngine::ReadCard(CardIdRecord& id, CardDataRecord& data,
                                      std::int32_t readerType) {
    MatchedEntry = 0;
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
            return result;
        }
    }
    // The last entry in use has the word, also over an earlier entry's error.
    return result;
}

}  // namespace tapwedge
