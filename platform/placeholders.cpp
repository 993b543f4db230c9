#include "platform/placeholders.h"

#ifdef __APPLE__
#include <sys/resource.h>
#endif

namespace Placeholders {

void neverFetch() {
#ifdef __APPLE__
    // Process-wide: every thread of every later walk is covered. A failure
    // (an older system) leaves the default, which is all that can be done.
    static const bool done = [] {
        return ::setiopolicy_np(IOPOL_TYPE_VFS_MATERIALIZE_DATALESS_FILES, IOPOL_SCOPE_PROCESS,
                                IOPOL_MATERIALIZE_DATALESS_FILES_OFF) == 0;
    }();
    (void)done;
#endif
}

}  // namespace Placeholders
