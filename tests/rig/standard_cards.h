#pragma once
// The rig's standard cards: a FeliCa card with one plain data area, a Mifare Classic card with
// two areas in one sector, and an ISO15693 card. The simulator front ends put them into the
// field by name ("felica", "mifare", "iso15693"); make-card-set writes the card entries that
// read them. The bytes are chosen so that every typed character tells where it came from.
#include "reader_sim/cards.h"
#include "standard_card_places.h"

namespace rig {

tapwedge::sim::FelicaCard StandardFelicaCard();
tapwedge::sim::MifareCard StandardMifareCard();
tapwedge::sim::Iso15693Card StandardIso15693Card();

}  // namespace rig
