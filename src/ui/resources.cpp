#include "ui/resources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void init_ostrel_resources() { Q_INIT_RESOURCE(ostrel_tftp); }

namespace ostrel::ui {

void init_resources() { init_ostrel_resources(); }

}  // namespace ostrel::ui
