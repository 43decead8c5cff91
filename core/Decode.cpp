#include "Decode.h"

namespace tw {

DecodeResult decodeNow(Platform&, const DecodeInput&, const AppState&) {
    return {DecodeResult::Kind::Failed, L"Decode is not available yet."};
}

} // namespace tw
