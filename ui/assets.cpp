#include "assets.h"

#include <QtGlobal>

void initAssets() {
    // The resources live in a static library, whose registration code the linker drops unless
    // something refers to it.
    static const bool registered = [] {
        Q_INIT_RESOURCE(assets);
        return true;
    }();
    Q_UNUSED(registered);
}
