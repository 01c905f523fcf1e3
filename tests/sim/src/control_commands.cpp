// Reader control: chip initialisation (0x62), RF off (0x54), line speed (0x68), outputs (0x6A),
// switch (0x6C), version (0xFE) and attention (0x7A).
#include "reader_sim/reader_sim.h"

namespace tapwedge::sim {

Response ReaderSim::OnControl(const Bytes& command) {
    const std::uint8_t code = command[1];
    const std::size_t params = command.size() - 2;
    switch (code) {
    case 0x62:
        ++control_.chip_inits;
        ResetField();
        return Response::Of({0x63});
    case 0x54:
        ++control_.rf_offs;
        ResetField();
        return Response::Of({0x55});
    case 0x68:
        if (params < 1) return Response::Of({0x7F});
        control_.baud_code = command[2];
        return Response::Of({0x69, StatusOf(0x68)});
    case 0x6A:
        if (params < 2) return Response::Of({0x7F});
        control_.outputs[command[2]] = command[3];
        return Response::Of({0x6B, StatusOf(0x6A)});
    case 0x6C:
        return Response::Of({0x6D, switch_byte_});
    case 0xFE: {
        Bytes reply{0xFF};
        reply.insert(reply.end(), version_text_.begin(), version_text_.end());
        if (reply.size() > 200) reply.resize(200);  // room for the seal
        return Response::Of(std::move(reply));
    }
    case 0x7A: {
        Bytes reply{0x7B};
        reply.insert(reply.end(), attention_data_.begin(), attention_data_.end());
        return Response::Of(std::move(reply));
    }
    default:
        return Response::Of({0x7F});
    }
}

}  // namespace tapwedge::sim
