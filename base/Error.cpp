#include "base/Error.h"

#include "base/Utf8Encoding.h"

namespace opc {

Error::Error(std::u16string message)
    : FMessage(std::move(message)), FNarrow(EncodeUtf8(FMessage)) {}

} // namespace opc
