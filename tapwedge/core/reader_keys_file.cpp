#include "core/reader_keys_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "core/param_file_cipher.h"

namespace tapwedge {

bool ReaderKeysDiffer(const CardParamImage& image, const TwAuthKeys& keys) {
    return std::memcmp(&image.ReaderKeys, &keys, sizeof keys) != 0;
}

int StoreReaderKeys(const std::string& fileName, const TwAuthKeys& keys,
                    const CardParamImage& memoryImage) {
    try {
        ParamFileCipher cipher;
        CardParamImage image{};
        struct stat info {};
        if (lstat(fileName.c_str(), &info) == 0 || errno != ENOENT) {
            // An existing file keeps its entries: only a file that reads whole is rewritten.
            if (cipher.ReadParamFile(image.Data(), kCardParamImageSize, fileName) != 0) return -1;
        } else {
            image = memoryImage;
            // A file holds saved parameters: never the mark of a change kept only in memory.
            image.Flags &= static_cast<std::uint8_t>(~CardParamImage::kTemporaryChange);
        }
        image.SetReaderKeys(keys);
        return cipher.WriteParamFile(image.Data(), kCardParamImageSize, fileName) == 0 ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

}  // namespace tapwedge
