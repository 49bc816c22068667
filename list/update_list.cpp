#include "list/update_list.h"

namespace rk {

DownLoadList& DownLoadList::shared()
{
    static DownLoadList list;
    return list;
}

} // namespace rk
