#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>

namespace opc {

// A next request the user asked for on the Items view: the operation to choose and how its
// request text is made. `build` gets the operation's template as the window loads it and the
// request that was answered by the reply on show ("" when not known); it raises Error when it
// cannot make the request.
struct TNextRequest {
  QString operation;
  std::function<std::u16string(std::u16string_view templateText,
                               std::u16string_view answeredRequest)>
      build;
};

} // namespace opc
