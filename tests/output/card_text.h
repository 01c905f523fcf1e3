#pragma once
// Card records holding a given text, as the formatting step leaves them for the outputs.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/card_records.h"

inline tapwedge::CardIdRecord IdText(const std::string& text) {
    tapwedge::CardIdRecord id;
    const std::size_t n = std::min(text.size(), sizeof id.Bytes);
    id.Length = static_cast<std::int32_t>(n);
    std::memcpy(id.Bytes, text.data(), n);
    return id;
}

inline tapwedge::CardDataRecord DataText(const std::string& text) {
    tapwedge::CardDataRecord data;
    const std::size_t n = std::min(text.size(), sizeof data.Bytes);
    data.Length = static_cast<std::int32_t>(n);
    std::memcpy(data.Bytes, text.data(), n);
    return data;
}
