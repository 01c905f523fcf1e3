#pragma once
// Keeping the reader keys in the card-parameter file, so that the next start authenticates with
// them (the INI file never holds keys).
#include <string>

#include "core/card_param_image.h"
#include "tagwire/tagwire.h"

namespace tapwedge {

// Whether keys differ in any byte from the reader keys that image holds.
bool ReaderKeysDiffer(const CardParamImage& image, const TwAuthKeys& keys);

// Writes keys (with the keys-present flag) into the card-parameter file fileName without
// touching its card entries: into what the file holds when it can be read, or into
// memoryImage when there is no such file yet (without its mark of a change kept only in
// memory). A file that exists but cannot be read is left as it is. 0 when the file holds the
// keys, -1 otherwise.
int StoreReaderKeys(const std::string& fileName, const TwAuthKeys& keys,
                    const CardParamImage& memoryImage);

}  // namespace tapwedge
