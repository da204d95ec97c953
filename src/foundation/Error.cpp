#include "foundation/Error.h"

#include "foundation/Format.h"

namespace vantor {

std::string Error::localizedDescription() const {
  if (auto it = userInfo.find(kLocalizedDescriptionKey); it != userInfo.end() && it->is_string())
    return it->get<std::string>();
  return makeString("The operation couldn\u2019t be completed. (%@ error %li.)", domain, code);
}

std::string Error::description() const {
  return makeString("Error Domain=%@ Code=%li \"%@\" UserInfo=%@", domain, code, localizedDescription(),
                    describe(userInfo));
}

}  // namespace vantor
