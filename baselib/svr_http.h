// The HTTP side of resource location. The resource broker hands http and
// https names to an HttpManager, which returns a read-only storage on the
// resource.
#pragma once

#include "baselib/svr_base.h"
#include "baselib/svr_storage.h"
#include "baselib/svr_string.h"

namespace Solvaris {

class HttpManager : public Referable {
public:
    ~HttpManager() override {}
    // A read-only storage on the resource at url.
    virtual AutoPtr<Storage> createStorage(const String& url) = 0;
};

} // namespace Solvaris
