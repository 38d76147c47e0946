#include "ui/icons.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE names a function in the global namespace.
static void register_icon_resource() {
    Q_INIT_RESOURCE(icons);
}

namespace zk {

void register_icons() {
    register_icon_resource();
}

}  // namespace zk
